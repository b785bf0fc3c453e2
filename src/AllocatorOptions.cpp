// Options of the allocator (jemalloc) for the programs that hold a whole
// store in memory. Huge pages were tried and are left off: each fresh 2 MiB
// page is zeroed whole when first touched, and on a virtual machine that
// returns free memory to its host that zeroing was half of all the samples of
// a million-record load (and slower at 100,000 records too); the peak grew by
// their rounding as well.
extern "C" {
// Read by jemalloc at start-up (the MALLOC_CONF variable still overrides it).
extern const char* malloc_conf;
const char* malloc_conf = "thp:default,metadata_thp:disabled";
}
