// The simulator's record on disk.
//
// JSON report (SimEngine::ReportJson), one object:
//   "device":      the configuration played (ident, channels, versions, idn, close)
//   "commands":    every command in order, e.g. ["FWU0", "pages main 350",
//                  "FWU1", "FWU", "pages ch1 80", ..., "FWUE"]
//   "fwue", "idn_queries", "garbage_bytes": counts
//   "received_bytes", "received_fnv1a": how many bytes the PC wrote, and the
//                  64-bit FNV-1a digest of all of them in order (16 hex digits)
//   "controllers": one member per controller that was started ("main",
//                  "ch1".."ch4"), each with "starts", "announce",
//                  "announced_pages", "pages" (data received), "all_pages_ok",
//                  "addresses_in_order", "finished", "closed", "fnv1a64" (digest
//                  of the data), "page_list" (per page: address, data_reply,
//                  checksum, sum_ok, reply) and "data" (the received page
//                  bytes as upper-case hex, pages concatenated in arrival order)
//   plus whatever the runner adds (the stand-in GPIB library adds "gpib").
//
// Dumps (WriteDumps): DIR/main.bin, DIR/ch1.bin ... for every controller
// that was started: the received page bytes, pages concatenated in arrival
// order, so a full transfer's dump equals the first N pages of the image sent
// (cmp with `head -c $((N*256)) FW1C.qrt`).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimEngine.h"

namespace sim {

// A JSON string literal (quotes included) for any 8-bit text.
std::string JsonString(const std::string& str);
// 64-bit FNV-1a of the bytes, as 16 lower-case hex digits.
std::string Fnv1a64Hex(const std::vector<std::uint8_t>& data);
// Writes the file whole (through a temporary beside it, so that a reader
// never sees half a report). Returns 1 on success, else 0.
int WriteWholeFile(const std::string& strPath, const std::string& strContent);
// Writes the per-controller dumps into strDir (created if needed). Returns 1
// on success, else 0.
int WriteDumps(const SimEngine& engine, const std::string& strDir);

}  // namespace sim
