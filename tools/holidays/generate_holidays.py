#!/usr/bin/python3
"""Writes every Japanese national holiday from 1983 to 2050 as two independent
sources list them, for the market calendar's test to compare against.

Sources, pinned so that the committed file can be made again:
  - the npm package @holiday-jp/holiday_jp 2.5.1, installed into a temporary
    folder (needs node and npm);
  - Debian's python3-holidays 0.10 (apt-get install python3-holidays), run with
    Debian's /usr/bin/python3.

Output: CSV, UTF-8, one line per day that either source calls a holiday:
  date,holiday_jp,python_holidays
with each source's own name for the day, empty where it has none. Neither source
knows the exchange's year-end closure; the test adds that itself.

Usage: tools/holidays/generate_holidays.py tests/calendar/data/holidays_1983_2050.csv
"""

import csv
import datetime
import json
import subprocess
import sys
import tempfile

FIRST_YEAR = 1983
LAST_YEAR = 2050
NPM_PACKAGE = "@holiday-jp/holiday_jp"
NPM_VERSION = "2.5.1"
PYTHON_HOLIDAYS_SERIES = "0.10"

# Dates are printed from the package's own table keys, so no time zone can shift a day.
DUMP_SCRIPT = """
const holidays = require('%s/lib/holidays.js');
const days = {};
for (const [date, holiday] of Object.entries(holidays)) {
  const year = Number(date.slice(0, 4));
  if (year >= %d && year <= %d) days[date] = holiday.name;
}
console.log(JSON.stringify(days));
"""


def holiday_jp_days():
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["npm", "install", "--silent", "--no-audit", "--no-fund", "--prefix",
                        folder, f"{NPM_PACKAGE}@{NPM_VERSION}"], check=True)
        module = f"{folder}/node_modules/{NPM_PACKAGE}"
        with open(f"{module}/package.json", encoding="utf-8") as package:
            version = json.load(package)["version"]
        if version != NPM_VERSION:
            sys.exit(f"{NPM_PACKAGE} is {version}, expected {NPM_VERSION}")
        script = DUMP_SCRIPT % (module, FIRST_YEAR, LAST_YEAR)
        output = subprocess.run(["node", "-e", script], check=True, capture_output=True,
                                text=True).stdout
    return {datetime.date.fromisoformat(day): name for day, name in json.loads(output).items()}


def python_holidays_days():
    import holidays  # Debian's python3-holidays

    if not holidays.__version__.startswith(PYTHON_HOLIDAYS_SERIES + "."):
        sys.exit(f"python3-holidays is {holidays.__version__}, expected {PYTHON_HOLIDAYS_SERIES}")
    japan = holidays.Japan(years=range(FIRST_YEAR, LAST_YEAR + 1))
    return {day: name for day, name in japan.items() if FIRST_YEAR <= day.year <= LAST_YEAR}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    npm_days = holiday_jp_days()
    python_days = python_holidays_days()
    with open(sys.argv[1], "w", encoding="utf-8", newline="\n") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["date", "holiday_jp", "python_holidays"])
        for day in sorted(set(npm_days) | set(python_days)):
            writer.writerow([day.isoformat(), npm_days.get(day, ""), python_days.get(day, "")])


if __name__ == "__main__":
    main()
