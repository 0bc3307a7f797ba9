#!/usr/bin/env bash
# The example sales report on generated rows through xevhost (--jobs 1 and 2)
# and, when sqlite3 is installed, the nearest SQL it can run over the same
# file: CPU (user + sys) and wall seconds of each, medians of three runs.
# SQLite works in binary floating point and has no date pictures, so its
# cells are close to the report's, not equal: a yardstick, not an oracle.
# Usage: bench/sales_peers.sh [rows] [xevhost]
set -euo pipefail
cd "$(dirname "$0")/.."
rows="${1:-1000000}"
xevhost="${2:-build/bench/xevhost}"
[ -x "$xevhost" ] || { echo "no $xevhost: build it first (scripts/bench-xevhost does)" >&2; exit 1; }
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

# Median of three runs of "$@": CPU seconds, then wall seconds.
measure() {
  for _ in 1 2 3; do
    /usr/bin/time -f "%U %S %e" -o "$work/time" "$@" > /dev/null
    awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' "$work/time"
  done | sort -n | sed -n 2p
}

echo "== sales report, $rows rows: CPU s, wall s (median of 3)"
for jobs in 1 2; do
  echo "xevhost --jobs $jobs  $(measure "$xevhost" "$work/sales.csv" -f examples/sales.formulas --format csv --jobs "$jobs")"
done
if command -v sqlite3 > /dev/null; then
  echo "sqlite3 (floats)  $(cd "$work" && measure sqlite3 :memory: -init report.sql .quit)"
fi
