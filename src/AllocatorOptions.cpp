// Options of the allocator (jemalloc) for the programs that hold a whole
// store in memory. Loading a large store touches hundreds of megabytes of new
// pages: in huge pages the kernel takes a fault and the processor a TLB entry
// per 2 MiB rather than per 4 KiB, which more than halved the load and the
// first search of 100,000 records.
extern "C" {
// Read by jemalloc at start-up (the MALLOC_CONF variable still overrides it).
extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:always";
}
