"""Kept plans (velmora.resize's cache and velmora.Plan) against plans made
and freed for one call (the library's own resize): the same bytes whatever
the strides, dtypes, settings, threads and forks; the cache's bounds."""
import concurrent.futures
import subprocess
import sys

import numpy as np
import pytest

import velmora

fresh = velmora._resize_uncached


@pytest.fixture(autouse=True)
def default_cache():
    velmora.clear_plan_cache()
    yield
    velmora.set_plan_cache(max_plans=4, max_bytes=1 << 30)
    velmora.clear_plan_cache()


def samples(shape, dtype, seed=3):
    values = np.random.default_rng(seed).uniform(0, 250, shape)
    return values.astype(dtype)


VIEWS = {
    "contiguous": lambda a: a,
    "transposed": lambda a: np.ascontiguousarray(a.transpose(1, 0, 2)).transpose(1, 0, 2),
    "flipped": lambda a: np.ascontiguousarray(a[::-1, :, ::-1])[::-1, :, ::-1],
    "strided": lambda a: np.repeat(a, 2, axis=1)[:, ::2],
    "fortran": np.asfortranarray,
}
# One shape pair under settings that differ by one thing each: a plan
# served to the wrong one would give other bytes or refuse the arrays.
SETTINGS = [dict(dtype=np.uint8), dict(dtype=np.uint8, rounding="truncate"), dict(dtype=np.float32),
            dict(dtype=np.float64), dict(dtype=">f8"), dict(dtype=np.uint16, threads=2),
            dict(dtype=np.uint16, threads=1)]


@pytest.mark.parametrize("input_type", [np.uint8, np.float32])
def test_kept_plans_give_the_bytes_of_fresh_ones_for_any_strides_and_settings(input_type):
    a = samples((13, 22, 3), input_type)
    for repeat in range(2):
        for settings in SETTINGS:
            expected = fresh(a, (30, 9, 3), **settings).tobytes()
            plan = velmora.Plan(a.shape, (30, 9, 3), input_type, settings["dtype"], threads=settings.get("threads"),
                                rounding=settings.get("rounding", "nearest"))
            for name, view in VIEWS.items():
                assert velmora.resize(view(a), (30, 9, 3), **settings).tobytes() == expected, (name, settings)
                out = plan(view(a))
                assert out.tobytes() == expected and out.dtype == np.dtype(settings["dtype"]), (name, settings)
    assert velmora.plan_cache_info().plans == 4


def test_concurrent_calls_take_their_own_plans():
    jobs = [(samples((40, 31 + i % 2), np.float32, seed=i), (57, 20)) for i in range(12)]
    expected = [fresh(a, shape, threads=2).tobytes() for a, shape in jobs]
    shared = velmora.Plan((40, 31), (57, 20), np.float32, threads=2)

    def work(job):
        a, shape = job
        by_plan = shared(a).tobytes() if a.shape == shared.shape_in else None
        return velmora.resize(a, shape, threads=2).tobytes(), by_plan

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(work, jobs * 4))
    assert [cached for cached, _ in results] == expected * 4
    assert all(plan in (None, cached) for cached, plan in results)
    assert velmora.plan_cache_info().plans <= 4


def test_the_cache_keeps_the_latest_plans_within_its_bounds():
    shapes = [((20, 30), (41, 17)), ((64, 64), (128, 128)), ((50,), (77,))]
    sizes = [velmora.Plan(old, new, np.float64, threads=1).nbytes for old, new in shapes]
    cases = [(dict(max_plans=2), 2, sum(sizes[1:])), (dict(max_bytes=sizes[2] + sizes[1] - 1), 1, sizes[2]),
             (dict(max_plans=0), 0, 0), (dict(max_bytes=sizes[2]), 1, sizes[2])]
    for bounds, plans, nbytes in cases:
        velmora.set_plan_cache(max_plans=4, max_bytes=1 << 30)
        velmora.set_plan_cache(**bounds)
        for old, new in shapes:
            velmora.resize(np.ones(old), new, threads=1)
        info = velmora.plan_cache_info()
        assert (info.plans, info.bytes) == (plans, nbytes), bounds
    velmora.clear_plan_cache()
    assert velmora.plan_cache_info()[:2] == (0, 0)
    with pytest.raises(TypeError, match="max_plans must be"):
        velmora.set_plan_cache(max_plans=True)
    with pytest.raises(ValueError, match="max_bytes is -1"):
        velmora.set_plan_cache(max_bytes=-1)


def run_python(script):
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)


def test_a_forked_child_makes_its_own_plans():
    done = run_python("""if True:
        import os, numpy as np, velmora
        a = np.random.default_rng(1).random((300, 200))
        plan = velmora.Plan(a.shape, (401, 150), a.dtype, threads=2)
        expected = velmora._resize_uncached(a, (401, 150), threads=2)
        velmora.resize(a, (401, 150), threads=2)
        child = os.fork()
        if child == 0:
            kept = velmora.plan_cache_info().plans
            same = all(np.array_equal(r, expected) for r in
                       [velmora.resize(a, (401, 150), threads=2), plan(a), plan(a)])
            os._exit(0 if same and kept == 0 else 3)
        print("child", os.waitstatus_to_exitcode(os.waitpid(child, 0)[1]), np.array_equal(plan(a), expected))""")
    assert done.stdout.split() == ["child", "0", "True"], done.stderr


@pytest.mark.parametrize("call", ["velmora.resize(frames, new, threads=1)", "plan(frames)"])
def test_ctrl_c_stops_a_kept_plan_which_then_runs_again(call):
    # Uncancelled, about a second; SIGINT comes 0.2 s in.
    done = run_python(f"""if True:
        import os, signal, threading, time, numpy as np, velmora
        frames = np.random.default_rng(2).integers(0, 255, (300, 257, 257), np.uint8)
        new = (300, 383, 383)
        plan = velmora.Plan(frames.shape, new, frames.dtype, threads=1)
        threading.Timer(0.2, os.kill, (os.getpid(), signal.SIGINT)).start()
        try:
            {call}
        except KeyboardInterrupt:
            print("KeyboardInterrupt")
        again = {call}
        print(np.array_equal(again[:2], velmora._resize_uncached(frames[:2], (2,) + new[1:])))""")
    assert done.stdout.split() == ["KeyboardInterrupt", "True"], (done.stdout, done.stderr)


PLAN_ERRORS = [
    (lambda: velmora.Plan((4, True), (8, 8), np.uint8), TypeError, "axis 1 must be an integer, not True"),
    (lambda: velmora.Plan((4, 4), (8,), np.uint8), ValueError, "shape_out has length 1"),
    (lambda: velmora.Plan((4,), (8,), np.int16), TypeError, "dtype_in must be .* not int16"),
    (lambda: velmora.Plan((4,), (8,), np.uint8)(np.zeros(5, np.uint8)), ValueError, r"shape \(5,\); .* \(4,\)"),
    (lambda: velmora.Plan((4,), (8,), np.uint8)(np.zeros(4)), TypeError, "dtype float64; the plan takes uint8"),
    (lambda: velmora.Plan((4,), (8,), np.uint8)(np.zeros(4, np.uint8), out=np.zeros(8)), TypeError,
     "out has dtype float64; the result's is uint8"),
]


@pytest.mark.parametrize("call, error, message", PLAN_ERRORS)
def test_plan_errors(call, error, message):
    with pytest.raises(error, match=message):
        call()
