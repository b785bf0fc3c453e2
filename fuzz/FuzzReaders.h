#pragma once
// One input through every reader of interchange files: qVX versions 1 to 4
// (plain and with the key "fuzz"), the CSV export and user list, the
// importer over a real file, attachment side files and the event-log backup
// file. Aborts when a reader breaks one of its promises; the sanitizers
// catch the rest. Shared by the libFuzzer target and the test that replays
// inputs which once failed.
#include <cstddef>
#include <cstdint>

// The password of the encrypted seed files.
inline constexpr char kFuzzPassword[] = "fuzz";

void FuzzReaders(const std::uint8_t* data, std::size_t size);
