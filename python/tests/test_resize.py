"""velmora.resize against the mirror method computed with NumPy, the command
line tool's bytes, its errors, Ctrl-C, the GIL and concurrent calls."""
import concurrent.futures
import os
import struct
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import velmora

TYPES = [np.uint8, np.uint16, np.float32, np.float64]
CASES = [((31,), (64,)), ((12, 17), (7, 40)), ((10, 13, 3), (25, 9, 3)), ((3, 5, 4, 6), (3, 8, 4, 2)),
         ((2, 3, 1, 2, 5, 1, 2, 3), (2, 4, 1, 2, 3, 2, 2, 3))]


def mirror_matrix(n, m):
    """y = M x for one line: the cosine series of x, cut to min(n, m) terms,
    evaluated at input positions x' n / m."""
    k = np.arange(min(n, m))
    coefficients = np.cos(np.pi * k[:, None] * (2 * np.arange(n) + 1) / (2 * n)) / n
    at = np.cos(np.pi * k * (2 * np.arange(m)[:, None] * n / m + 1) / (2 * n)) * np.where(k == 0, 1, 2)
    return at @ coefficients


def reference(x, shape):
    x = x.astype(np.float64)
    for axis, m in enumerate(shape):
        if m != x.shape[axis]:
            x = np.moveaxis(np.tensordot(mirror_matrix(x.shape[axis], m), x, axes=(1, axis)), 0, axis)
    return x


def random_samples(shape, dtype, seed=1):
    rng = np.random.default_rng(seed)
    if np.dtype(dtype).kind == "u":
        return rng.integers(0, np.iinfo(dtype).max, shape, endpoint=True).astype(dtype)
    return (rng.standard_normal(shape) * 100).astype(dtype)


@pytest.mark.parametrize("out_type", TYPES)
@pytest.mark.parametrize("in_type", TYPES)
def test_every_sample_type_and_rank_follows_the_mirror_method(in_type, out_type):
    for in_shape, out_shape in CASES:
        a = random_samples(in_shape, in_type)
        exact = reference(a, out_shape)
        tolerance = 1e-9 * (a.max() - a.min())
        for rounding in ["nearest", "truncate"]:
            out = velmora.resize(a, out_shape, dtype=out_type, rounding=rounding)
            assert out.shape == out_shape and out.dtype == out_type and out.flags.c_contiguous
            if np.dtype(out_type).kind == "f":
                epsilon = np.finfo(out_type).eps
                assert np.all(np.abs(out - exact) <= tolerance + epsilon * np.abs(exact)), (in_shape, rounding)
                break  # rounding concerns integers only
            info = np.iinfo(out_type)
            edge = exact if rounding == "truncate" else exact + 0.5
            expected = np.clip(np.trunc(exact) if rounding == "truncate" else np.floor(edge), info.min, info.max)
            # A hair from a rounding boundary, either side is right.
            near = np.abs(edge - np.round(edge)) <= tolerance
            wrong = (out != expected) & ~(near & (np.abs(out.astype(np.float64) - expected) <= 1))
            assert not wrong.any(), (in_shape, rounding)


LAYOUTS = {
    "fortran": lambda a: np.asfortranarray(a),
    "flipped": lambda a: a[::-1, :, ::-1],
    "sliced": lambda a: np.repeat(np.repeat(a, 2, axis=0), 3, axis=1)[::2, 1::3],
    "transposed": lambda a: np.ascontiguousarray(a.transpose(1, 0, 2)).transpose(1, 0, 2),
    "swapped": lambda a: a.astype(a.dtype.newbyteorder("S")),
    "broadcast": lambda a: np.broadcast_to(a[:1], a.shape),
}


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("dtype", TYPES)
def test_strides_byte_order_and_threads_change_no_byte(dtype, layout):
    view = LAYOUTS[layout](random_samples((9, 14, 3), dtype))
    plain = np.ascontiguousarray(view, dtype=view.dtype.newbyteorder("="))
    expected = velmora.resize(plain, (16, 11, 3), threads=1)
    for threads in [1, 2, None]:
        out = velmora.resize(view, (16, 11, 3), threads=threads)
        assert out.dtype == expected.dtype and out.tobytes() == expected.tobytes()


def bmp_bytes(picture):
    """A 24-bit bottom-up BMP of an H x W x 3 picture (channels as stored)."""
    height, width, _ = picture.shape
    stride = (3 * width + 3) // 4 * 4
    rows = b"".join(row.tobytes().ljust(stride, b"\0") for row in picture[::-1])
    return (struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0) + rows)


def bmp_picture(data):
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (3 * width + 3) // 4 * 4
    rows = np.frombuffer(data, np.uint8, stride * height, offset).reshape(height, stride)
    return rows[::-1, :3 * width].reshape(height, width, 3)


def test_uint8_with_truncate_matches_the_command_line(tmp_path):
    rows, columns = np.mgrid[0:23, 0:37]
    picture = np.stack([rows * 11 % 256, (rows * columns) % 256, np.where(columns > 18, 250, 5)], axis=2)
    picture = picture.astype(np.uint8)
    (tmp_path / "in.bmp").write_bytes(bmp_bytes(picture))
    subprocess.run([os.environ["VELMORA_EXE"], "-i", str(tmp_path / "in.bmp"), "-o", str(tmp_path / "out"),
                    "-sizexminus", "13", "-sizexminusy", "-6"], check=True, capture_output=True)
    made = bmp_picture((tmp_path / "out.bmp").read_bytes())
    assert made.shape == (17, 50, 3)
    assert made.tobytes() == velmora.resize(picture, (17, 50, 3), rounding="truncate").tobytes()


def nan_at_1_2():
    a = np.zeros((4, 3))
    a[2, 1] = np.nan
    return a.T


ERRORS = [
    (lambda: velmora.resize(["1", "2"], (4,)), TypeError, "takes numbers, not list of dtype <U1"),
    (lambda: velmora.resize([1j, 2], (4,)), TypeError, "takes numbers, not list of dtype complex128"),
    (lambda: velmora.resize(np.zeros(4, np.int32), (8,)), TypeError, "not int32"),
    (lambda: velmora.resize(np.array(1.0), ()), TypeError, "not a 0-d array"),
    (lambda: velmora.resize(np.zeros((1,) * 9), (2,) * 9), ValueError, "rank 9"),
    (lambda: velmora.resize(np.zeros((4, 4)), (8,)), ValueError, "length 1 for an array of rank 2"),
    (lambda: velmora.resize(np.zeros((4, 4)), (8, 0)), ValueError, "axis 1 is 0"),
    (lambda: velmora.resize(np.zeros((4, 4)), (-3, 4)), ValueError, "axis 0 is -3"),
    (lambda: velmora.resize(np.zeros((4, 4)), (4, 2**20 + 1)), ValueError, "axis 1 changes from 4 to 1048577"),
    (lambda: velmora.resize(np.zeros((4, 4)), (4, 2.5)), TypeError, "axis 1 must be an integer"),
    (lambda: velmora.resize(np.zeros((0, 4)), (3, 4)), ValueError, "axis 0 of the input has size 0"),
    (lambda: velmora.resize(np.zeros(4), (8,), threads=0), ValueError, "threads is 0"),
    (lambda: velmora.resize(np.zeros(4), (8,), threads=257), ValueError, "threads is 257"),
    (lambda: velmora.resize(np.zeros(4), (8,), threads=np.True_), TypeError, "threads must be .*, not a bool"),
    (lambda: velmora.resize(np.zeros((4, 4)), (True, 8)), TypeError, "axis 0 must be an integer, not True"),
    (lambda: velmora.resize(np.zeros(4), (8,), rounding="up"), ValueError, "rounding is 'up'"),
    (lambda: velmora.resize(np.zeros(4), (8,), dtype="int16"), TypeError, "dtype must be .* not int16"),
    (lambda: velmora.resize(nan_at_1_2(), (5, 5)), ValueError, r"a NaN at index \(1, 2\)"),
    (lambda: velmora.resize(np.array([0, 1, np.inf], np.float32), (2,)), ValueError, r"an infinity at index \(2\)"),
]


@pytest.mark.parametrize("call, error, message", ERRORS)
def test_errors(call, error, message):
    with pytest.raises(error, match=message):
        call()


class ArrayInterface:
    def __init__(self, array):
        self.array = array

    def __array__(self, dtype=None):
        return self.array


# Array-likes and what np.asarray makes of them, converted when not one of
# the four types.
ARRAY_LIKES = [
    ([[3, 1, 4], [1, 5, 9]], {}, np.array([[3, 1, 4], [1, 5, 9]], np.float64)),
    ([[3, 1, 4], [1, 5, 9]], {"dtype": np.uint16}, np.array([[3, 1, 4], [1, 5, 9]], np.uint16)),
    ([[True, False, True]] * 2, {"dtype": "f4"}, np.array([[1, 0, 1]] * 2, np.float32)),
    (memoryview(bytes(range(6))).cast("B", (2, 3)), {}, np.arange(6, dtype=np.uint8).reshape(2, 3)),
    (ArrayInterface(np.arange(6, dtype=">f4").reshape(2, 3)), {}, np.arange(6, dtype=np.float32).reshape(2, 3)),
]


@pytest.mark.parametrize("like, settings, array", ARRAY_LIKES)
def test_array_likes_resize_as_the_arrays_numpy_makes_of_them(like, settings, array):
    out = velmora.resize(like, (5, 7), **settings)
    assert out.tobytes() == velmora.resize(array, (5, 7), **settings).tobytes()


# Where out= may lie: any strides, either byte order.
OUTS = {"contiguous": lambda: np.empty((7, 5)), "transposed": lambda: np.empty((5, 7)).T,
        "flipped": lambda: np.empty((7, 10))[::-1, ::2], "big-endian": lambda: np.empty((7, 5), ">f8")}


@pytest.mark.parametrize("kind", OUTS)
def test_out_is_written_in_place_with_any_strides(kind):
    a = random_samples((4, 9), np.float64)
    out = OUTS[kind]()
    assert velmora.resize(a, (7, 5), out=out) is out
    assert np.array_equal(out, velmora.resize(a, (7, 5)))
    big = velmora.resize(a, (7, 5), dtype=">f8")
    assert big.dtype.str == ">f8" and big.tobytes() == out.astype(">f8").tobytes()


OUT_ERRORS = [
    (lambda: velmora.resize(np.zeros(4), (8,), out=np.zeros(7)), ValueError, r"out has shape \(7,\); .* \(8,\)"),
    (lambda: velmora.resize(np.zeros(4), (8,), out=np.zeros(8, np.float32)), TypeError,
     "out has dtype float32; the result's is float64"),
    (lambda: velmora.resize(np.zeros(4), (8,), out=[0.0] * 8), TypeError, "out must be a NumPy array, not list"),
    (lambda: velmora.resize(np.zeros(4), (8,), out=np.broadcast_to(np.zeros(1), (8,))), ValueError, "read-only"),
]


@pytest.mark.parametrize("call, error, message", OUT_ERRORS)
def test_out_errors(call, error, message):
    with pytest.raises(error, match=message):
        call()


@pytest.mark.parametrize("layout", ["plain", "flipped", "byte-swapped"])
def test_an_out_overlapping_the_input_is_refused(layout):
    # A byte-swapped input is converted before the library sees it.
    memory = np.zeros(40, ">f8" if layout == "byte-swapped" else np.float64)
    a = memory[19::-2] if layout == "flipped" else memory[:10]
    with pytest.raises(ValueError, match="the output's memory overlaps the input's"):
        velmora.resize(a, (20,), out=memory[9:29])


def run_python(script):
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)


def test_exhausted_memory_raises_memory_error():
    # The output fits under the limit; the resize's work arrays do not.
    done = run_python("""if True:
        import resource, numpy as np, velmora
        a = np.zeros((2048, 2048), np.uint8)
        used = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (used + (96 << 20), resource.RLIM_INFINITY))
        try:
            velmora.resize(a, (4096, 4096), threads=1)
        except MemoryError as error:
            print("MemoryError:", error)""")
    assert "MemoryError: not enough memory for the array" in done.stdout, done.stderr


def test_ctrl_c_stops_a_long_resize_at_once():
    # Uncancelled, the stack takes about 6 s on one thread (prime sizes);
    # SIGINT comes 0.3 s in. The bound leaves room for a loaded machine
    # while telling a stop from a call that runs to its end.
    done = run_python("""if True:
        import os, signal, threading, time, numpy as np, velmora
        frames = np.zeros((1800, 257, 257), np.uint8)
        sent = []
        threading.Timer(0.3, lambda: (sent.append(time.perf_counter()), os.kill(os.getpid(), signal.SIGINT))).start()
        try:
            velmora.resize(frames, (1800, 383, 383), threads=1)
        except KeyboardInterrupt:
            print("KeyboardInterrupt after", time.perf_counter() - sent[0])""")
    assert done.stdout.startswith("KeyboardInterrupt after"), (done.stdout, done.stderr)
    assert float(done.stdout.split()[-1]) < 1.5, done.stdout


def test_importing_velmora_needs_no_dask():
    done = run_python("import sys; sys.modules['dask'] = None; import numpy, velmora; "
                      "print(velmora.__version__, velmora.resize(numpy.ones(3), (5,)).sum())")
    assert done.returncode == 0 and done.stdout.split() == [velmora.__version__, "5.0"], done.stderr


def test_other_python_threads_run_while_a_resize_runs():
    a = random_samples((1024, 1024), np.float64)
    spans = []

    def resizes():
        while sum(end - start for start, end in spans) < 0.5:
            start = time.perf_counter()
            velmora.resize(a, (2048, 2048), threads=1)
            spans.append((start, time.perf_counter()))

    worker = threading.Thread(target=resizes)
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
        time.sleep(0.001)
    # Holding the GIL, a resize would leave no tick inside its span.
    inside = sum(start + 0.005 < tick < end - 0.005 for tick in ticks for start, end in spans)
    assert inside >= 20, (inside, len(ticks), spans)


def test_concurrent_calls_give_what_calls_one_at_a_time_give():
    jobs = [(random_samples((40 + i, 30, 3), TYPES[i % 4], seed=i), (50, 61 - i, 3)) for i in range(8)]
    alone = [velmora.resize(a, shape, threads=2).tobytes() for a, shape in jobs]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda job: velmora.resize(*job, threads=2).tobytes(), jobs * 3))
    assert together == alone * 3
