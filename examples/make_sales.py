#!/usr/bin/env python3
"""Writes sales.csv, the example data of xevhost: a few thousand orders of a
small wholesaler over two years. A fixed seed makes the file the same on every
machine, so the example report and its tests can rely on it.

Usage: python3 examples/make_sales.py [rows] > examples/sales.csv
"""
import csv
import datetime
import random
import sys

SEED = 20240615

CUSTOMERS = [
    "Acme Hardware", "Birchwood Supplies", "Café Olé", "Delta Marine, Inc.",
    "Eastside Florists", "Fjällräven Outfitters", "Greenleaf Grocers", "Harbor & Sons",
    "Ironclad Tools", "Jade Garden Restaurant", "Kestrel Aviation", "Lumière Studio",
    "Müller Bäckerei", "Northwind Traders", "O'Brien's Pub", "Pinecrest Schools",
    "Quayside Hotel", "Riverbend Clinic", "Søndergaard Design", "Tidewater Books",
    "Union Street Deli", "Valley \"Best\" Motors", "Westfield Gym", "Yellowstone Outdoor",
]
REGIONS = ["North", "South", "East", "West", "Central"]
PRODUCTS = [  # name, category, list price
    ("Copy paper A4, 5 reams", "Office", 24.90),
    ("Ballpoint pens, box of 50", "Office", 11.50),
    ("Stapler, heavy duty", "Office", 18.75),
    ("Desk lamp LED", "Furniture", 39.00),
    ("Office chair", "Furniture", 149.00),
    ("Standing desk", "Furniture", 489.00),
    ("Coffee beans 1 kg", "Pantry", 17.40),
    ("Paper cups, 1000", "Pantry", 32.10),
    ("Hand soap refill", "Cleaning", 8.95),
    ("Floor cleaner 5 l", "Cleaning", 21.30),
    ("USB-C cable 2 m", "Electronics", 9.99),
    ("Wireless keyboard", "Electronics", 54.00),
    ("27\" monitor", "Electronics", 229.00),
]
REPS = ["Avery", "Blake", "Chen", "Dana", "Emeka", "Farah"]


def order_rows(count, rng):
    start = datetime.datetime(2023, 1, 2, 8, 0)
    for _ in range(count):
        ordered = start + datetime.timedelta(minutes=rng.randrange(0, 730 * 24 * 60))
        ordered = ordered.replace(second=0)
        product, category, price = rng.choice(PRODUCTS)
        quantity = rng.choice([1, 1, 2, 2, 3, 4, 5, 6, 10, 12, 20, 25, 50])
        # Prices drift a little from the list price; some orders get a discount.
        unit_price = round(price * rng.uniform(0.92, 1.08), 2)
        discount = rng.choice(["", "", "", "0.05", "0.1", "0.15"])
        # Recent orders may not have shipped yet: their ship date stays empty.
        shipped = ordered + datetime.timedelta(hours=rng.randrange(4, 240))
        ship_text = "" if ordered > datetime.datetime(2024, 12, 20) and rng.random() < 0.6 else shipped.strftime("%Y-%m-%d %H:%M")
        yield [
            ordered.strftime("%Y-%m-%d"),
            ship_text,
            rng.choice(CUSTOMERS),
            rng.choice(REGIONS),
            product,
            category,
            str(quantity),
            "%.2f" % unit_price,
            discount,
            rng.choice(REPS),
        ]


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 3000
    rng = random.Random(SEED)
    # Order numbers follow the order dates, as they would in a real system.
    rows = sorted(order_rows(count, rng), key=lambda r: r[0])
    rows = [["SO-%05d" % (10001 + n)] + row for n, row in enumerate(rows)]
    out = csv.writer(sys.stdout, lineterminator="\n")
    out.writerow(["Order ID", "Order Date", "Ship Date", "Customer", "Region", "Product",
                  "Category", "Quantity", "Unit Price", "Discount", "Sales Rep"])
    out.writerows(rows)


if __name__ == "__main__":
    main()
