#include "row_feed.h"

#include <sqlite3.h>

#include <cstring>

namespace kabuka::history {

namespace {

struct FeedTable {
  sqlite3_vtab base;
  RowFeed* feed;
};

struct FeedCursor {
  sqlite3_vtab_cursor base;
  size_t at;
};

RowFeed* feedOf(sqlite3_vtab_cursor* cursor) {
  return reinterpret_cast<FeedTable*>(cursor->pVtab)->feed;
}

int connect(sqlite3* db, void* aux, int, const char* const*, sqlite3_vtab** table, char**) {
  const int rc = sqlite3_declare_vtab(
      db, "CREATE TABLE x(code, day, market, name, open, high, low, close, volume)");
  if (rc != SQLITE_OK) {
    return rc;
  }
  auto* feed = static_cast<FeedTable*>(sqlite3_malloc(sizeof(FeedTable)));
  if (feed == nullptr) {
    return SQLITE_NOMEM;
  }
  std::memset(feed, 0, sizeof(FeedTable));
  feed->feed = static_cast<RowFeed*>(aux);
  *table = &feed->base;
  return SQLITE_OK;
}

int disconnect(sqlite3_vtab* table) {
  sqlite3_free(table);
  return SQLITE_OK;
}

int bestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  info->estimatedCost = 1e6;
  return SQLITE_OK;
}

int open(sqlite3_vtab*, sqlite3_vtab_cursor** cursor) {
  auto* feedCursor = static_cast<FeedCursor*>(sqlite3_malloc(sizeof(FeedCursor)));
  if (feedCursor == nullptr) {
    return SQLITE_NOMEM;
  }
  std::memset(feedCursor, 0, sizeof(FeedCursor));
  *cursor = &feedCursor->base;
  return SQLITE_OK;
}

int close(sqlite3_vtab_cursor* cursor) {
  sqlite3_free(cursor);
  return SQLITE_OK;
}

int filter(sqlite3_vtab_cursor* cursor, int, const char*, int, sqlite3_value**) {
  reinterpret_cast<FeedCursor*>(cursor)->at = 0;
  return SQLITE_OK;
}

int next(sqlite3_vtab_cursor* cursor) {
  ++reinterpret_cast<FeedCursor*>(cursor)->at;
  return SQLITE_OK;
}

int eof(sqlite3_vtab_cursor* cursor) {
  return reinterpret_cast<FeedCursor*>(cursor)->at >= feedOf(cursor)->count;
}

// The rows' bytes stay as they are until the insert is done.
void resultValue(sqlite3_context* context, const StoredValue& value) {
  switch (value.kind) {
    case Value::Kind::Null:
      sqlite3_result_null(context);
      break;
    case Value::Kind::Integer:
      sqlite3_result_int64(context, value.integer);
      break;
    case Value::Kind::Real:
      sqlite3_result_double(context, value.real);
      break;
    case Value::Kind::Text:
      sqlite3_result_text(context, value.text.data(), int(value.text.size()), SQLITE_STATIC);
      break;
  }
}

int column(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int index) {
  const PriceRow& row = feedOf(cursor)->rows[reinterpret_cast<FeedCursor*>(cursor)->at];
  switch (index) {
    case 0:
      sqlite3_result_text(context, row.code.data(), int(row.code.size()), SQLITE_STATIC);
      break;
    case 1:
      sqlite3_result_int(context, row.day);
      break;
    case 2:
      sqlite3_result_int(context, row.market);
      break;
    case 3:
      sqlite3_result_int(context, row.name);
      break;
    default:
      resultValue(context, row.values[size_t(index - 4)]);
      break;
  }
  return SQLITE_OK;
}

int rowid(sqlite3_vtab_cursor* cursor, sqlite3_int64* id) {
  *id = sqlite3_int64(reinterpret_cast<FeedCursor*>(cursor)->at);
  return SQLITE_OK;
}

const sqlite3_module kModule = {0,  // iVersion
                                nullptr, connect, bestIndex, disconnect, nullptr, open,
                                close,   filter,  next,      eof,        column,  rowid,
                                nullptr, nullptr, nullptr,   nullptr,    nullptr, nullptr,
                                nullptr, nullptr, nullptr,   nullptr,    nullptr};

}  // namespace

bool RowFeed::attach(Database& db) {
  // An eponymous table: there as temp.row_feed without CREATE VIRTUAL TABLE, and
  // nothing of it is written into the file.
  return sqlite3_create_module(db.handle(), "row_feed", &kModule, this) == SQLITE_OK;
}

bool RowFeed::insert(Statement& insert, const PriceRow* batch, size_t size) {
  rows = batch;
  count = size;
  insert.step();
  const bool ok = insert.done();
  insert.reset();
  rows = nullptr;
  count = 0;
  return ok;
}

}  // namespace kabuka::history
