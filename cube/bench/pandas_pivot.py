#!/usr/bin/env python3
"""Times pandas pivot_table on the analysis cube's rows: sum of values by year and month.

The rows are read from caixa.mdb with the cube's own join and held in memory before timing, so
only the pivot itself is measured. Prints `pandas_pivot_ms: <median> ms`.
"""
import sqlite3
import statistics
import sys
import time

import pandas as pd

QUERY = """SELECT l.dt_lancamento, l.ds_complemento, l.vl_lancamento, h.ds_historico,
                  h.cd_tipo, c.ds_conta, b.ds_baixa
           FROM lancamentos l JOIN historicos h ON l.cd_historico = h.cd_historico
                JOIN contas c ON l.cd_conta = c.cd_conta JOIN baixas b ON l.cd_baixa = b.cd_baixa"""


def main():
    con = sqlite3.connect(sys.argv[1])
    df = pd.read_sql_query(QUERY, con)
    dates = pd.to_datetime(df["dt_lancamento"])
    df["ano"] = dates.dt.year
    df["mes"] = dates.dt.month
    runs = []
    for _ in range(7):
        start = time.perf_counter()
        table = pd.pivot_table(df, values="vl_lancamento", index="ano", columns="mes",
                               aggfunc="sum", margins=True)
        runs.append((time.perf_counter() - start) * 1000.0)
    assert table.shape[0] > 1
    print(f"pandas_rows: {len(df)} rows")
    print(f"pandas_pivot_ms: {statistics.median(runs):.3f} ms")


if __name__ == "__main__":
    main()
