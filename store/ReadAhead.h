#pragma once
// Read connections read their database file through a small layer over the
// system's file access that reads ahead: a page asked for brings the pages
// after it along in one read, so that a scan of a table costs one system
// call for many pages instead of one for each. Pages of any size the engine
// allows (512 bytes to 64 KiB) are read ahead into a buffer that each read
// into it sizes, so that no page size can read past it. A read that fails
// fails as the base layer's does, and nothing is mapped into memory: a disk
// error stays an error the engine reports, not a signal.
//
// What was read ahead is dropped whenever the file's locks change and at the
// start and end of every read transaction, so it is never older than the
// snapshot that reads it.

struct sqlite3;

namespace melodeck::readahead {

// The name of the layer, for sqlite3_open_v2; registered on first use.
const char* VfsName();

// Drops what the main database file of db has read ahead (at the start and
// the end of a read transaction).
void Forget(sqlite3* db);

} // namespace melodeck::readahead
