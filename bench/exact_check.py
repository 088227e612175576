#!/usr/bin/env python3
"""Checks BMP outputs of velmora against the method computed independently
in NumPy: every output byte must be the exact value's integer part, clipped
to 0..255, except where the exact value lies within 1e-6 of an integer
(there the last bits of any computation may tip it either way).

usage: bench/exact_check.py INPUT.bmp OUTPUT.bmp [OTHER_OUTPUT.bmp]

The exact value comes from the cosine series of each channel as matrices,
out = A_H . in . A_W^T with A the 1-D mirror resize: sample x' of n' from
n samples is C[0] + 2 sum_{0<k<min(n,n')} C[k] cos(pi k (2 x' n/n' + 1) / 2n),
C[k] = (1/n) sum_j x[j] cos(pi k (2j + 1) / 2n). Given a second output (of
another build, say), it also counts the bytes in which the two differ and
how close to an integer their exact values lie. Needs python3-numpy; a
6144 x 4608 output takes about a minute.
"""
import sys

import numpy as np


def read_bmp(path):
    data = open(path, 'rb').read()
    offset = int.from_bytes(data[10:14], 'little')
    width = int.from_bytes(data[18:22], 'little')
    height = int.from_bytes(data[22:26], 'little', signed=True)
    stride = (3 * width + 3) // 4 * 4
    rows = np.frombuffer(data, dtype=np.uint8, count=stride * abs(height), offset=offset)
    pixels = rows.reshape(abs(height), stride)[:, :3 * width].reshape(abs(height), width, 3)
    return pixels[::-1] if height > 0 else pixels


def resize_matrix(n, m):
    kept = min(n, m)
    k = np.arange(kept)
    coefficients = np.cos(np.pi * np.outer(k, 2 * np.arange(n) + 1) / (2 * n)) / n
    weights = np.full(kept, 2.0)
    weights[0] = 1.0
    series = np.cos(np.pi * np.outer(2 * np.arange(m) * n / m + 1, k) / (2 * n)) * weights
    return series @ coefficients


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    source = read_bmp(sys.argv[1]).astype(np.float64)
    outputs = [read_bmp(path) for path in sys.argv[2:]]
    height, width, _ = source.shape
    out_height, out_width, _ = outputs[0].shape
    rows, columns = resize_matrix(height, out_height), resize_matrix(width, out_width)
    failures = 0
    differing = 0
    nearest = 0.0
    for channel in range(3):
        exact = rows @ source[:, :, channel] @ columns.T
        low = np.clip(np.floor(exact - 1e-6), 0, 255)
        high = np.clip(np.floor(exact + 1e-6), 0, 255)
        for output in outputs:
            got = output[:, :, channel].astype(np.int64)
            failures += int(np.sum((got < low) | (got > high)))
        if len(outputs) == 2:
            apart = outputs[0][:, :, channel] != outputs[1][:, :, channel]
            differing += int(np.sum(apart))
            if apart.any():
                values = exact[apart]
                nearest = max(nearest, float(np.abs(values - np.round(values)).max()))
    print(f"bytes outside the rule: {failures}")
    if len(outputs) == 2:
        print(f"bytes that differ between the outputs: {differing}; "
              f"their exact values lie at most {nearest:.3g} from an integer")
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
