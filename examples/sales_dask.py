#!/usr/bin/python3
"""The example report (sales.csv with sales.formulas) on a Dask cluster of
two worker processes on this machine; prints the first rows.

    PYTHONPATH=python /usr/bin/python3 examples/sales_dask.py
"""
import os

import dask.dataframe as dd
import pandas as pd
from distributed import Client, LocalCluster

import xev.dask

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster):
        # Small blocks, so that both workers get partitions of the 3000 rows.
        orders = dd.read_csv(os.path.join(HERE, "sales.csv"), parse_dates=["Order Date", "Ship Date"],
                             blocksize=64_000)
        report = xev.dask.evaluate(orders, os.path.join(HERE, "sales.formulas"))
        with pd.option_context("display.width", 200, "display.max_columns", None):
            print(f"{orders.npartitions} partitions on 2 workers")
            print(report.head(10))


if __name__ == "__main__":
    main()
