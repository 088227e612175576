#!/usr/bin/env python3
"""The figure of the README's Python section: a short signal with a step
near its end, enlarged 8x by scipy.signal.resample, which takes the signal
to be periodic, so that the step at the end bleeds into the start, and by
velmora.resize, which mirrors it and does not.

usage: PYTHONPATH=build/python docs/periodic_bleed.py docs/periodic_bleed.png

Needs the module built in build/ and the Debian packages python3-scipy and
python3-matplotlib. Prints what each does between the first two samples.
"""
import sys

import matplotlib
import numpy as np
import scipy.signal

import velmora

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

n, factor = 24, 8
x = np.arange(n)
signal = 0.3 + 0.15 * np.sin(2 * np.pi * x / n) + np.where(x >= 19, 0.5, 0.0)
periodic = scipy.signal.resample(signal, n * factor)
mirrored = velmora.resize(signal, (n * factor,))
# Both put output sample x' at input position x' n / n'.
at = np.arange(n * factor) / factor

figure, axes = plt.subplots(figsize=(8, 3.6), dpi=100)
axes.plot(at, periodic, color="tab:red", label="scipy.signal.resample (periodic)")
axes.plot(at, mirrored, color="tab:blue", label="velmora.resize (mirrored)")
axes.plot(x, signal, "o", color="black", markersize=4, label="input samples")
axes.annotate("the jump from the end\nback to the start rings", xy=(0.5, periodic[4]), xytext=(0.2, 0.9),
              arrowprops={"arrowstyle": "->", "color": "tab:red"}, color="tab:red")
axes.annotate("the end falls\ntoward the start", xy=(23.8, periodic[-2]), xytext=(19.8, 0.2),
              arrowprops={"arrowstyle": "->", "color": "tab:red"}, color="tab:red")
axes.set_xlabel("input position")
axes.set_title(f"{n} samples with a step near the end, enlarged {factor}x")
axes.set_ylim(0, 1.1)
axes.legend(loc="upper center", bbox_to_anchor=(0.57, 1.0), frameon=False)
figure.tight_layout()
figure.savefig(sys.argv[1] if len(sys.argv) > 1 else "periodic_bleed.png")
print("between input positions 0 and 1, the input goes from %.3f to %.3f;" % (signal[0], signal[1]))
for name, line in [("scipy.signal.resample", periodic), ("velmora.resize", mirrored)]:
    print("  %-22s ranges from %.3f to %.3f there, and ends at %.3f" % (
        name, line[:factor + 1].min(), line[:factor + 1].max(), line[-1]))
