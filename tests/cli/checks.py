"""The check scripts' shared tally: one line per check, and the closing count ctest reads."""

failures = []
checks = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    checks.append(what)
    if not condition:
        failures.append(what)


def summary():
    """Prints 'N passed, N failed' and returns the exit status."""
    print("%d passed, %d failed" % (len(checks) - len(failures), len(failures)))
    return 1 if failures else 0
