#pragma once

#include <QString>

#include <array>

namespace kabuka {

// The settings table: fifteen texts, filled from settei.txt by settei_read_sub.
using SetteiTbl = std::array<QString, 15>;

namespace settei {
// Entry numbers of the settings table. Entries 2 to 5 are never filled.
enum Entry : int {
  db_path = 0,   // database folder, always ending in a separator
  day_site = 1,  // base URL of the data server's daily prices, ending in "/"
  adj_db_path = 6,
  m_site = 7,
  shinyo_site = 8,
  day_folder = 9,  // name of the daily folder inside a year folder
  m_folder = 10,
  shinyo_folder = 11,
  fin_tandoku_folder = 12,
  fin_renketsu_folder = 13,
  fin_chukan_folder = 14,
};
}  // namespace settei

}  // namespace kabuka
