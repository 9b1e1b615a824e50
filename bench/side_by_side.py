"""Medians of several lumivane_bench runs (one per build type) side by side.

Arguments: TYPE=FILE, each FILE a Google Benchmark JSON output. Prints a markdown table
of the processor time of every benchmark's median, and each type's time relative to
the first.
"""
import json
import sys


def medians(path):
    with open(path, encoding="utf-8") as handle:
        runs = json.load(handle)["benchmarks"]
    wanted = [run for run in runs if run.get("aggregate_name") == "median"]
    if not wanted:  # a single repetition: no aggregates
        wanted = [run for run in runs if run.get("run_type") == "iteration"]
    return {run["run_name"]: (run["cpu_time"], run["time_unit"]) for run in wanted}


def main(arguments):
    columns = [argument.split("=", 1) for argument in arguments]
    tables = [(name, medians(path)) for name, path in columns]
    names = list(tables[0][1])
    header = ["benchmark"] + [name for name, _ in tables]
    header += [f"{name} / {tables[0][0]}" for name, _ in tables[1:]]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for benchmark in names:
        cells = [benchmark]
        first = tables[0][1][benchmark][0]
        for _, table in tables:
            time, unit = table.get(benchmark, (float("nan"), ""))
            cells.append(f"{time:.4g} {unit}")
        for _, table in tables[1:]:
            time = table.get(benchmark, (float("nan"), ""))[0]
            cells.append(f"{time / first:.2f}")
        print("| " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main(sys.argv[1:])
