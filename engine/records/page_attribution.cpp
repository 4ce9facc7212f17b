#include "engine/records/page_attribution.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <unordered_map>

#include "engine/reader/btree_page.h"
#include "engine/reader/cell_scan.h"
#include "engine/reader/leaf_cell.h"
#include "engine/reader/overflow_claims.h"
#include "engine/records/live_records.h"
#include "engine/records/record_fit.h"
#include "engine/records/row_hash.h"
#include "engine/records/row_sink.h"
#include "engine/records/table_row.h"

namespace engine {
namespace {

// Cells a reached leaf is judged by: its rows fit its table or they do not, and a
// few tell as much as all.
constexpr uint32_t kSampleCells = 3;

// The rowids a table holds, growing page by page: sorted runs merged like a binary
// counter, so that adding n rowids costs n log n and asking log^2 n.
class RowidRuns {
 public:
  void Add(std::vector<int64_t> run) {
    std::sort(run.begin(), run.end());
    runs_.push_back(std::move(run));
    while (runs_.size() >= 2 && runs_.back().size() >= runs_[runs_.size() - 2].size()) {
      std::vector<int64_t> last = std::move(runs_.back());
      runs_.pop_back();
      std::vector<int64_t> merged;
      merged.reserve(last.size() + runs_.back().size());
      std::merge(runs_.back().begin(), runs_.back().end(), last.begin(), last.end(), std::back_inserter(merged));
      runs_.back() = std::move(merged);
    }
  }
  bool Contains(int64_t rowid) const {
    return std::any_of(runs_.begin(), runs_.end(),
                       [&](const std::vector<int64_t>& r) { return std::binary_search(r.begin(), r.end(), rowid); });
  }
  bool Empty() const { return runs_.empty() || runs_.front().empty(); }
  int64_t Lowest() const {
    int64_t low = INT64_MAX;
    for (const auto& r : runs_) low = r.empty() ? low : std::min(low, r.front());
    return low;
  }
  int64_t Highest() const {
    int64_t high = INT64_MIN;
    for (const auto& r : runs_) high = r.empty() ? high : std::max(high, r.back());
    return high;
  }

 private:
  std::vector<std::vector<int64_t>> runs_;
};

struct PageRecords {
  std::vector<std::vector<RecordValue>> records;
  std::vector<int64_t> rowids;
};

}  // namespace

void PageAttribution::Run(Work& work) {
  const std::vector<TableEntry>& list = schema_.tableList;
  const size_t n = list.size();
  leaves_.assign(n, {});
  outside_.assign(n, {});
  freed_.assign(n, {});
  decided_.assign(n, false);
  lost_.clear();
  kinds_.clear();

  // One tree per root of a table; a companion shares its table's.
  std::vector<CensusTree> trees;
  std::vector<size_t> tableOfTree;
  std::vector<int> treeOf(n, -1);
  for (size_t i = 0; i < n; ++i) {
    const TableEntry& e = list[i];
    if (e.deletedCompanion || e.rootPage <= 1) continue;
    for (size_t t = 0; t < trees.size() && treeOf[i] < 0; ++t) {
      if (trees[t].root == static_cast<uint64_t>(e.rootPage)) treeOf[i] = static_cast<int>(t);
    }
    if (treeOf[i] >= 0) continue;
    treeOf[i] = static_cast<int>(trees.size());
    trees.push_back({static_cast<uint64_t>(e.rootPage), e.withoutRowid});
    tableOfTree.push_back(i);
  }
  for (size_t i = 0; i < n; ++i) {
    if (!list[i].deletedCompanion) continue;
    for (size_t j = 0; j < n; ++j) {
      if (!list[j].deletedCompanion && list[j].rootPage == list[i].rootPage) treeOf[i] = treeOf[j];
    }
  }
  const size_t treeCount = trees.size();
  std::vector<TableRowShape> shapes;
  for (size_t t = 0; t < treeCount; ++t) shapes.emplace_back(list[tableOfTree[t]]);
  // Dropped tables have no tree: they only take freed pages whose records fit them.
  std::vector<size_t> droppedEntry;
  for (size_t i = 0; i < n; ++i) {
    if (list[i].dropped && !list[i].withoutRowid) {
      droppedEntry.push_back(i);
      shapes.emplace_back(list[i]);
    }
  }
  const size_t candidates = shapes.size();
  auto indexTree = [&](size_t t) { return t < treeCount && trees[t].indexTree; };
  // The indexes' trees are walked too, so that their pages are nobody's stray rows.
  const std::vector<IndexRoot> indexes = ScanIndexRoots(db_, work);
  std::vector<CensusTree> walked = trees;
  for (const IndexRoot& index : indexes) walked.push_back({index.root, true});

  std::vector<uint8_t> page;
  LeafCell cell;
  std::vector<RecordField> fields;
  std::vector<RecordValue> values;
  // An overflow page serves one chain within a pass over the pages: crafted cells
  // sharing one cannot make a pass cost cells x chain.
  OverflowClaims claims(db_.pages);
  // The records of the first `limit` cells of `bytes`, leaf page `number`.
  auto decode = [&](uint64_t number, const std::vector<uint8_t>& bytes, uint32_t limit, PageRecords& out) {
    out.records.clear();
    out.rowids.clear();
    const BtreePageHeader h = ParseBtreeHeader(bytes.data(), db_.usableSize, number);
    const std::vector<uint32_t> offsets = LeafCellOffsets(bytes.data(), db_.usableSize, h);
    for (uint32_t i = 0; i < offsets.size() && out.records.size() < limit; ++i) {
      const uint32_t at = offsets[i];
      if (at == 0 || !ReadTableLeafCell(db_.pages, bytes.data(), db_.usableSize, at, &cell, &claims) ||
          !DecodeRecordValues(cell, db_.textEncoding, fields, values)) {
        continue;
      }
      out.records.push_back(values);
      out.rowids.push_back(cell.rowid);
    }
  };
  auto read = [&](uint64_t number, uint32_t limit, PageRecords& out) {
    db_.pages.ReadPage(number, page);
    decode(number, page, limit, out);
  };
  // The rowids a table's pages hold, read when a stray page asks.
  std::vector<std::vector<uint64_t>> pages(candidates);
  std::vector<RowidRuns> rowids(candidates);
  std::vector<bool> rowidsRead(candidates, false);
  PageRecords theirs;
  auto rowidsOf = [&](size_t t) -> RowidRuns& {
    if (!rowidsRead[t]) {
      rowidsRead[t] = true;
      std::vector<int64_t> held;
      for (uint64_t leaf : pages[t]) {
        read(leaf, UINT32_MAX, theirs);
        held.insert(held.end(), theirs.rowids.begin(), theirs.rowids.end());
      }
      rowids[t].Add(std::move(held));
    }
    return rowids[t];
  };
  // The one table whose rows these are: the best fit (`fitOf` of a tree), when no
  // other fits as well. Of tables that fit alike, the one whose rowids span those
  // of the page (`pageRowids`, when known) and the others' do not.
  auto best = [&](const auto& fitOf, const std::vector<int64_t>* pageRowids) {
    std::vector<size_t> top;
    int topFit = 0;
    for (size_t t = 0; t < candidates; ++t) {
      if (indexTree(t)) continue;
      const int fit = fitOf(t);
      if (fit <= 0 || fit < topFit) continue;
      if (fit > topFit) top.clear();
      topFit = fit;
      top.push_back(t);
    }
    if (top.size() == 1) return static_cast<int>(top[0]);
    if (top.empty() || !pageRowids || pageRowids->empty()) return -1;
    const auto [low, high] = std::minmax_element(pageRowids->begin(), pageRowids->end());
    int within = -1;
    for (size_t t : top) {
      const RowidRuns& known = rowidsOf(t);
      if (known.Empty() || *low < known.Lowest() || *high > known.Highest()) continue;
      if (within >= 0) return -1;
      within = static_cast<int>(t);
    }
    return within;
  };

  // What a few cells of each table leaf hold, as the census reads the file: the
  // kinds of their values from the serial types alone, no overflow page read. Pages
  // whose cells look alike share one pattern: 4 bytes a page of the file.
  constexpr uint32_t kNoPattern = UINT32_MAX;
  std::vector<uint32_t> patternOf(db_.pages.PageCount() + 1, kNoPattern);
  std::vector<std::vector<std::vector<Value::Kind>>> patterns;
  std::unordered_map<std::string, uint32_t> patternIds;
  std::vector<std::vector<Value::Kind>> cellKinds;
  std::string key;
  std::vector<uint32_t> firstCells;
  auto onLeaf = [&](uint64_t leaf, const uint8_t* bytes) {
    const BtreePageHeader h = ParseBtreeHeader(bytes, db_.usableSize, leaf);
    size_t sampled = 0;
    key.clear();
    FirstLeafCellOffsets(bytes, db_.usableSize, h, kSampleCells, firstCells);
    for (uint32_t at : firstCells) {
      if (sampled == cellKinds.size()) cellKinds.emplace_back();
      std::vector<Value::Kind>& kinds = cellKinds[sampled];
      if (at == 0 || !CellValueKinds(bytes, db_.usableSize, at, kinds)) continue;
      static_assert(sizeof(Value::Kind) == 1);
      key.append(reinterpret_cast<const char*>(kinds.data()), kinds.size());
      key.push_back('/');
      ++sampled;
    }
    if (sampled == 0) return;
    cellKinds.resize(sampled);
    const auto [it, added] = patternIds.emplace(key, static_cast<uint32_t>(patterns.size()));
    if (added) patterns.push_back(cellKinds);
    patternOf[leaf] = it->second;
  };
  auto patternFit = [&](uint32_t pattern, size_t t) {
    return PageFitBy(patterns[pattern], [&](const std::vector<Value::Kind>& kinds) {
      return FitKinds(kinds.size(), [&](size_t i) { return kinds[i]; }, shapes[t], true);
    });
  };

  PageCensus census(db_);
  census.Run(walked, work, true, onLeaf);
  if (work.Stopped()) return;

  // The reached leaves, in walk order: a tree keeps those whose rows fit it; one
  // whose rows fit only another table is that table's (a root or a child pointer
  // redirected into it), and the tree that reached it is broken there.
  std::vector<bool> misled(treeCount, false);
  // The table each leaf went to, by page: 4 bytes a page of the file.
  std::vector<int32_t> owner(db_.pages.PageCount() + 1, -1);
  for (size_t t = 0; t < treeCount; ++t) {
    if (trees[t].indexTree) continue;
    for (uint64_t leaf : census.Leaves(t)) {
      if (leaf >= owner.size() || owner[leaf] >= 0) continue;
      size_t to = t;
      if (const uint32_t pattern = patternOf[leaf]; pattern != kNoPattern && patternFit(pattern, t) <= 0) {
        const int other = best([&](size_t u) { return u < treeCount ? patternFit(pattern, u) : -1; }, nullptr);
        if (other >= 0) {
          to = static_cast<size_t>(other);
          misled[t] = true;
        }
      }
      owner[leaf] = static_cast<int32_t>(to);
      pages[to].push_back(leaf);
    }
  }
  patternOf = {};
  std::vector<bool> broken(treeCount);
  for (size_t t = 0; t < treeCount; ++t) broken[t] = census.Damaged(t) || misled[t];

  claims.Clear();
  PageRecords all;
  // The stray table leaves: live rows of a broken tree whose rowids it does not
  // hold yet; any other page of a table is a page it freed.
  std::vector<std::vector<uint64_t>> freed(candidates);
  for (uint64_t stray : census.StrayTableLeaves()) {
    if (work.Stopped()) return;
    read(stray, UINT32_MAX, all);
    int to = all.records.empty() ? -1 : best([&](size_t u) { return PageFit(all.records, shapes[u], true); }, &all.rowids);
    // In an auto-vacuum database the pointer map names the page's tree: believed
    // when the records fit that table.
    if (const uint64_t home = all.records.empty() ? 0 : census.PointerMapRoot(stray); home != 0) {
      for (size_t t = 0; t < treeCount; ++t) {
        if (trees[t].root == home && !trees[t].indexTree && PageFit(all.records, shapes[t], true) > 0) {
          to = static_cast<int>(t);
        }
      }
    }
    // Rows no table takes clearly are kept apart, not dropped.
    if (to < 0) {
      if (!all.records.empty()) lost_.push_back(stray);
      continue;
    }
    const size_t t = static_cast<size_t>(to);
    bool live = t < treeCount && broken[t];
    if (live) {
      RowidRuns& known = rowidsOf(t);
      live = std::none_of(all.rowids.begin(), all.rowids.end(), [&](int64_t r) { return known.Contains(r); });
      if (live) known.Add(all.rowids);
    }
    (live ? pages[t] : freed[t]).push_back(stray);
  }

  // The freelist's leaves are freed pages by what the file says: the table their
  // records fit best has them for its deleted rows; records that fit no table at
  // all are kept apart (those that fit tables alike are for the tables' carving to
  // tell).
  for (uint64_t leaf : census.FreelistTableLeaves()) {
    if (work.Stopped()) return;
    read(leaf, UINT32_MAX, all);
    if (all.records.empty()) continue;
    auto fitOf = [&](size_t u) { return PageFit(all.records, shapes[u], true); };
    const int to = best(fitOf, &all.rowids);
    if (to >= 0) {
      freed[static_cast<size_t>(to)].push_back(leaf);
      continue;
    }
    bool anyFit = false;
    for (size_t u = 0; u < candidates && !anyFit; ++u) anyFit = !indexTree(u) && fitOf(u) > 0;
    if (!anyFit) lost_.push_back(leaf);
  }
  std::sort(lost_.begin(), lost_.end());
  for (size_t d = 0; d < droppedEntry.size(); ++d) freed_[droppedEntry[d]] = freed[treeCount + d];

  std::vector<std::vector<uint64_t>> indexPages(treeCount);
  AttributeIndexLeaves(census, trees, shapes, indexes, work, indexPages);
  kinds_ = census.TakeKinds();
  for (size_t t = 0; t < treeCount; ++t) {
    for (const auto* list : {&pages[t], &indexPages[t]}) {
      for (uint64_t p : *list) {
        if (p >= 1 && p <= kinds_.size()) kinds_[p - 1] = PageKind::TreeLeaf;
      }
    }
  }

  for (size_t i = 0; i < n; ++i) {
    if (treeOf[i] < 0) continue;
    const size_t t = static_cast<size_t>(treeOf[i]);
    if (trees[t].indexTree) {
      outside_[i] = indexPages[t];
      decided_[i] = true;
      continue;
    }
    leaves_[i] = pages[t];
    std::sort(leaves_[i].begin(), leaves_[i].end());
    std::vector<uint64_t> reached = census.Leaves(t);
    std::sort(reached.begin(), reached.end());
    std::set_difference(leaves_[i].begin(), leaves_[i].end(), reached.begin(), reached.end(),
                        std::back_inserter(outside_[i]));
    freed_[i] = freed[t];
    decided_[i] = true;
  }
}

void PageAttribution::AttributeIndexLeaves(const PageCensus& census, const std::vector<CensusTree>& trees,
                                           const std::vector<TableRowShape>& shapes,
                                           const std::vector<IndexRoot>& indexes, Work& work,
                                           std::vector<std::vector<uint64_t>>& pages) {
  std::vector<size_t> candidates;
  for (size_t t = 0; t < trees.size(); ++t) {
    if (trees[t].indexTree && census.Damaged(t)) candidates.push_back(t);
  }
  if (candidates.empty() || census.StrayIndexLeaves().empty()) return;
  // An index's entry is its columns and the rowid last: entries of as many values
  // with an integer last could be an index's, whose tree broke, not a table's rows.
  const bool unknownIndex = std::any_of(indexes.begin(), indexes.end(), [](const IndexRoot& x) { return x.values == 0; });
  auto couldBeIndex = [&](const std::vector<std::vector<RecordValue>>& records) {
    return std::all_of(records.begin(), records.end(), [&](const std::vector<RecordValue>& r) {
      return r.back().value.kind == Value::Kind::Integer &&
             (unknownIndex || std::any_of(indexes.begin(), indexes.end(),
                                          [&](const IndexRoot& x) { return x.values == r.size(); }));
    });
  };
  // The keys a table's tree holds, read when a stray page asks: a page whose keys
  // it holds already is an older copy, not lost rows.
  std::vector<RowHashSet> keys(trees.size());
  std::vector<bool> keysRead(trees.size(), false);
  auto keyOf = [&](size_t t, const std::vector<RecordValue>& record) {
    std::vector<Value> key;
    for (size_t i = 0; i < record.size() && i < shapes[t].KeyCount(); ++i) key.push_back(record[i].value);
    return HashRow(key, -1);
  };
  auto keysOf = [&](size_t t) -> RowHashSet& {
    if (!keysRead[t]) {
      keysRead[t] = true;
      LiveBar noBar{false, false};
      CallbackSink sink([&](std::vector<RecordValue>& values, bool, int64_t) { keys[t].Insert(keyOf(t, values)); });
      ReadIndexRecords(db_, trees[t].root, work, noBar, sink);
    }
    return keys[t];
  };

  std::vector<uint8_t> page;
  LeafCell cell;
  std::vector<RecordField> fields;
  std::vector<RecordValue> values;
  std::vector<std::vector<RecordValue>> records;
  OverflowClaims claims(db_.pages);
  for (uint64_t stray : census.StrayIndexLeaves()) {
    if (work.Stopped()) return;
    db_.pages.ReadPage(stray, page);
    const BtreePageHeader h = ParseBtreeHeader(page.data(), db_.usableSize, stray);
    records.clear();
    for (uint32_t at : IndexCellOffsets(page.data(), db_.usableSize, h)) {
      if (ReadIndexCell(db_.pages, page.data(), db_.usableSize, at, false, &cell, &claims) &&
          DecodeRecordValues(cell, db_.textEncoding, fields, values) && !values.empty()) {
        records.push_back(values);
      }
    }
    if (records.empty() || couldBeIndex(records)) continue;
    // A table's record holds every column: the one table it fits whole, and no other.
    int to = -1;
    int top = 0;
    bool tie = false;
    for (size_t t : candidates) {
      const int fit = PageFitBy(records, [&](const std::vector<RecordValue>& r) {
        return r.size() == shapes[t].StoredCount() ? Fit(r, shapes[t]) : -1;
      });
      if (fit > top) {
        top = fit;
        to = static_cast<int>(t);
        tie = false;
      } else if (fit == top && fit > 0) {
        tie = true;
      }
    }
    if (to < 0 || tie) continue;
    const size_t t = static_cast<size_t>(to);
    RowHashSet& known = keysOf(t);
    if (std::any_of(records.begin(), records.end(), [&](const auto& r) { return known.Contains(keyOf(t, r)); })) continue;
    for (const auto& r : records) known.Insert(keyOf(t, r));
    pages[t].push_back(stray);
  }
}

bool PageAttribution::Free(uint64_t page) const {
  if (page < 2 || page > kinds_.size()) return false;
  const PageKind kind = kinds_[page - 1];
  return kind == PageKind::Unreached || kind == PageKind::FreelistLeaf || kind == PageKind::FreelistTrunk;
}

}  // namespace engine

