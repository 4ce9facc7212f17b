// Reading the live records of a table: every cell of its leaf pages, decoded.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/records/row_sink.h"

namespace engine {

// How the walk drives the progress bar the caller started.
struct LiveBar {
  bool running = true;           // steps per cell and per page while set
  bool emptyPageEndsBar = false; // a leaf without cells finishes the bar (the preview's rule)
};

// Reads every cell of `leaves` (in list order) and hands each readable record to
// `sink` with its rowid; a cell whose pointer or header cannot be read gives none.
// An overflow page serves one chain only: a cell reaching a page an earlier cell's
// chain used is cut there, so the walk reads each page of the file at most once
// for overflow. Returns the number of cells visited. Ends early on a stop request.
uint64_t ReadLiveRecords(const Database& db, const std::vector<uint64_t>& leaves, Work& work,
                         LiveBar& bar, RowSink& sink);

// Reads every entry of the index tree rooted at `rootPage` (a table without
// rowid's) in key order, the entries of interior pages between their children's,
// and hands each readable record to `sink` without a rowid. Each page once; the
// bar's steps as for ReadLiveRecords. Returns the number of cells visited.
uint64_t ReadIndexRecords(const Database& db, uint64_t rootPage, Work& work, LiveBar& bar,
                          RowSink& sink);

// Reads the entries of index leaf pages `leaves` (of a table without rowid, found
// outside its tree), page after page, and hands each readable record to `sink`
// without a rowid. One step per page when the bar runs. Returns the cells visited.
uint64_t ReadIndexLeafRecords(const Database& db, const std::vector<uint64_t>& leaves, Work& work, LiveBar& bar,
                              RowSink& sink);

}  // namespace engine
