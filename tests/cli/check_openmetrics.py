"""Parses ondara-cli --openmetrics output (standard input) with both parsers
of the Prometheus client library: the strict OpenMetrics one and the text
format one that node_exporter's textfile collector follows. Prints the
samples as JSON; exits 1 with the parser's complaint when either rejects it
or when they disagree."""
import json
import sys

from prometheus_client.openmetrics.parser import (
    text_string_to_metric_families as openmetrics_families,
)
from prometheus_client.parser import text_string_to_metric_families as text_families


def samples(families):
    found = []
    for family in families:
        for sample in family.samples:
            found.append([family.type, family.unit if hasattr(family, "unit") else "",
                          sample.name, dict(sample.labels), sample.value])
    return found


text = sys.stdin.read()
try:
    strict = samples(openmetrics_families(text))
    loose = samples(text_families(text))
except Exception as error:  # the parsers raise ValueError and friends
    print(f"rejected: {error}", file=sys.stderr)
    sys.exit(1)
if [s[2:] for s in strict] != [s[2:] for s in loose]:
    print("the two parsers disagree", file=sys.stderr)
    sys.exit(1)
json.dump(strict, sys.stdout)
