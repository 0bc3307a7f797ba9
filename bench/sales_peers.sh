#!/usr/bin/env bash
# The example sales report on generated rows through xevhost (--jobs 1 and 2)
# and the nearest SQL over the same file in the peers that are present, each
# on one thread: DuckDB (from npm, installed into a temporary folder when npm
# is there) with DECIMAL(18,2) money columns, and sqlite3. CPU (user + sys)
# and wall seconds of each, medians of interleaved rounds (every program once
# a round). DuckDB's cells are then checked against the report's where both
# are exact: every column but the proper-cased customer, whose rule SQL does
# not have. SQLite works in binary floating point and has no date pictures,
# so its cells are close to the report's, not equal: a yardstick only.
# Usage: bench/sales_peers.sh [rows] [xevhost] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-1000000}"
xevhost="${2:-build/bench/xevhost}"
rounds="${3:-5}"
[ -x "$xevhost" ] || { echo "no $xevhost: build it first (scripts/bench-xevhost does)" >&2; exit 1; }
xevhost=$(realpath "$xevhost")
formulas=$(realpath examples/sales.formulas)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 examples/make_sales.py "$rows" > "$work/sales.csv"

cat > "$work/report.sql" <<'SQL'
.mode csv
.import sales.csv sales
.output /dev/null
SELECT "Order ID",
  Quantity * "Unit Price" AS Gross,
  round(Quantity * "Unit Price" * (1 - coalesce(nullif(Discount, ''), 0)), 2) AS Net,
  round(round(Quantity * "Unit Price" * (1 - coalesce(nullif(Discount, ''), 0)), 2) / Quantity, 2),
  strftime('%w %d %m %Y', "Order Date"),
  date("Order Date", 'start of month', '+2 months', '-1 day'),
  cast(julianday(date("Ship Date")) - julianday("Order Date") AS INTEGER),
  strftime('%Y', "Order Date") || '-Q' || ((cast(strftime('%m', "Order Date") AS INTEGER) + 2) / 3),
  substr(Customer, 1, 18),
  CASE WHEN Quantity * "Unit Price" * (1 - coalesce(nullif(Discount, ''), 0)) < 500 THEN 'small'
       WHEN Quantity * "Unit Price" * (1 - coalesce(nullif(Discount, ''), 0)) = 500 THEN 'medium'
       ELSE 'large' END,
  CASE WHEN "Ship Date" = '' THEN 'open' ELSE 'shipped' END
FROM sales;
SQL

# The report in DuckDB's SQL: money in DECIMAL(18,2), so sums, products and
# rounding are exact; Per_Unit rounds half away from zero in whole cents.
cat > "$work/duck.mjs" <<'JS'
import { DuckDBInstance } from '@duckdb/node-api';
const [input, output] = process.argv.slice(2);
const instance = await DuckDBInstance.create(':memory:', { threads: '1' });
const db = await instance.connect();
await db.run(`COPY (
  WITH s AS (SELECT * FROM read_csv('${input}', header = true, columns = {
      'Order ID': 'VARCHAR', 'Order Date': 'DATE', 'Ship Date': 'TIMESTAMP', 'Customer': 'VARCHAR',
      'Region': 'VARCHAR', 'Product': 'VARCHAR', 'Category': 'VARCHAR', 'Quantity': 'INTEGER',
      'Unit Price': 'DECIMAL(18,2)', 'Discount': 'DECIMAL(18,2)', 'Sales Rep': 'VARCHAR'})),
  g AS (SELECT *, Quantity * "Unit Price" AS Gross FROM s),
  n AS (SELECT *, round(Gross - Gross * coalesce(Discount, 0), 2) AS Net FROM g)
  SELECT "Order ID" AS "Order", Gross, Net,
    CAST(((CAST(Net * 100 AS BIGINT) * 2 + Quantity) // (2 * Quantity)) AS DECIMAL(18,0)) * 0.01 AS Per_Unit,
    strftime("Order Date", '%a %-d %b %Y') AS Ordered,
    last_day("Order Date" + INTERVAL 1 MONTH) AS Pay_By,
    date_diff('day', "Order Date", CAST("Ship Date" AS DATE)) AS Ship_Days,
    strftime("Order Date", '%Y') || '-Q' || quarter("Order Date") AS Quarter,
    left(Customer, 18) AS Customer_,
    CASE WHEN Net < 500 THEN 'small' WHEN Net = 500 THEN 'medium' ELSE 'large' END AS Size,
    CASE WHEN "Ship Date" IS NULL THEN 'open' ELSE 'shipped' END AS Status
  FROM n) TO '${output}' (HEADER, DELIMITER ',')`);
JS

# One run of "$@", its CPU and wall seconds appended to the file $1.
timed() {
  local file=$1
  shift
  /usr/bin/time -f "%U %S %e" -o "$work/time" "$@" > /dev/null
  awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' "$work/time" >> "$file"
}
# Median CPU and wall seconds of the rounds in file $1.
median() {
  local n
  n=$(wc -l < "$1")
  printf "%s  %s\n" "$(cut -d' ' -f1 "$1" | sort -n | sed -n "$(( (n + 1) / 2 ))p")" \
                    "$(cut -d' ' -f2 "$1" | sort -n | sed -n "$(( (n + 1) / 2 ))p")"
}

duck=""
if command -v node > /dev/null && command -v npm > /dev/null &&
   (cd "$work" && npm install --no-audit --no-fund --silent @duckdb/node-api > npm.log 2>&1); then
  duck=yes
else
  echo "(DuckDB left out: node and npm with the npm registry are needed)" >&2
fi
peers=(xevhost1 xevhost2)
[ -n "$duck" ] && peers+=(duckdb)
command -v sqlite3 > /dev/null && peers+=(sqlite3)

for ((round = 1; round <= rounds; ++round)); do
  for peer in "${peers[@]}"; do
    case $peer in
      xevhost1) timed "$work/$peer" "$xevhost" "$work/sales.csv" -f "$formulas" --format csv --jobs 1 ;;
      xevhost2) timed "$work/$peer" "$xevhost" "$work/sales.csv" -f "$formulas" --format csv --jobs 2 ;;
      duckdb) (cd "$work" && timed "$work/$peer" node duck.mjs sales.csv /dev/null) ;;
      sqlite3) (cd "$work" && timed "$work/$peer" sqlite3 :memory: -init report.sql .quit) ;;
    esac
  done
done

echo "== sales report, $rows rows, one thread unless said: CPU s, wall s (medians of $rounds interleaved rounds)"
for peer in "${peers[@]}"; do
  case $peer in
    xevhost1) label="xevhost --jobs 1" ;;
    xevhost2) label="xevhost --jobs 2" ;;
    duckdb) label="DuckDB (decimal)" ;;
    sqlite3) label="sqlite3 (floats)" ;;
  esac
  printf "%-18s %s\n" "$label" "$(median "$work/$peer")"
done

if [ -n "$duck" ]; then
  "$xevhost" "$work/sales.csv" -f "$formulas" --format csv --jobs 1 > "$work/xevhost.csv"
  (cd "$work" && node duck.mjs sales.csv duck.csv)
  python3 - "$work/xevhost.csv" "$work/duck.csv" <<'PY'
import csv, sys
from decimal import Decimal
NUMBERS = {"Gross", "Net", "Per_Unit", "Ship_Days"}
SKIP = {"Customer_"}  # proper case has no SQL counterpart
def cell(name, text):
    return Decimal(text).normalize() if name in NUMBERS and text else text
with open(sys.argv[1], newline="", encoding="utf-8") as a, open(sys.argv[2], newline="", encoding="utf-8") as b:
    ours, theirs = csv.reader(a), csv.reader(b)
    header = next(ours)
    if next(theirs) != header:
        sys.exit("DuckDB's columns differ from the report's")
    rows = differing = 0
    for x, y in zip(ours, theirs):
        rows += 1
        bad = [h for h, u, v in zip(header, x, y) if h not in SKIP and cell(h, u) != cell(h, v)]
        if bad:
            differing += 1
            if differing <= 3:
                print("differs:", bad, x, y)
    if next(ours, None) is not None or next(theirs, None) is not None:
        sys.exit("DuckDB's row count differs from the report's")
    print(f"DuckDB cells equal to the report's on {rows - differing} of {rows} rows "
          f"(all columns but {', '.join(sorted(SKIP))})")
    sys.exit(1 if differing or rows == 0 else 0)
PY
fi
