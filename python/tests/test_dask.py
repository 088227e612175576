"""velmora.dask, examples/resize_folder.py and examples/pyramid.py against
velmora.resize in one process, byte for byte: on Dask's threads, and on
local clusters of two worker processes, one of them with little memory."""
import os
import subprocess
import sys
import time

import numpy as np
import pytest

import velmora

da = pytest.importorskip("dask.array")
distributed = pytest.importorskip("distributed")
import velmora.dask  # noqa: E402


def frames(dtype, shape=(5, 20, 30)):
    values = np.random.default_rng(7).uniform(0, 255, shape)
    return values.astype(dtype)


def regular(chunks):
    return all(len(set(sizes[:-1])) <= 1 and sizes[-1] <= sizes[0] for sizes in chunks)


def samples(shape, kind):
    """Random samples; "huge": float64 near the largest double, the first
    index of axis 0 a trillion times smaller (line-sets scaled apart)."""
    rng = np.random.default_rng(11)
    if kind == "huge":
        values = (rng.random(shape) * 2 - 1) * 1.7e308
        values[0] *= 1e-12
        return values
    if np.dtype(kind).kind == "u":
        return rng.integers(0, np.iinfo(kind).max, shape, endpoint=True).astype(kind)
    return (rng.standard_normal(shape) * 100).astype(kind)


# Odd, even and prime sizes, enlarged and reduced; input chunks that cut
# every axis; ranks 2 and 3, with every axis changing or a set axis.
SHAPES = {
    "primes": ((37, 41), (64, 23), (10, 9)),
    "even_odd": ((20, 30), (13, 47), (7, 4)),
    "rank3": ((7, 11, 13), (9, 5, 26), (3, 4, 5)),
    "set_axis_last": ((6, 2, 5), (3, 4, 5), (4, 1, 2)),
    "frames": ((5, 20, 30), (5, 33, 17), (2, 7, 11)),
}


# Blocks of one or two lines, a few, and whole line-sets.
@pytest.mark.parametrize("block_bytes", [64, 4096, velmora.dask.BLOCK_BYTES])
@pytest.mark.parametrize("kind", [np.uint8, np.uint16, np.float32, np.float64, ">f4", "huge"])
@pytest.mark.parametrize("case", SHAPES)
def test_blocks_of_any_size_give_the_bytes_of_one_resize(case, kind, block_bytes):
    old, new, chunks = SHAPES[case]
    a = samples(old, kind)
    resized = velmora.dask.resize(da.from_array(a, chunks=chunks), new, block_bytes=block_bytes)
    assert regular(resized.chunks)
    assert resized.compute(scheduler="threads").tobytes() == velmora.resize(a, new).tobytes()


@pytest.mark.parametrize("chunks, new", [((1, 20, 30), (5, 33, 17)), ((4, 7, 30), (5, 33, 17)),
                                         ((5, 20, 9), (5, 20, 13)), ((2, 3, 30), (5, 20, 13))])
@pytest.mark.parametrize("dtype", [np.uint8, np.float64])
def test_chunks_along_unchanged_axes_change_no_byte(dtype, chunks, new):
    a = frames(dtype)
    x = da.from_array(a, chunks=chunks)
    resized = velmora.dask.resize(x, new, dtype=np.float32)
    assert regular(resized.chunks) and resized.dtype == np.float32
    expected = velmora.resize(a, new, dtype=np.float32)
    assert resized.compute(scheduler="threads").tobytes() == expected.tobytes()


def test_errors():
    with pytest.raises(TypeError, match="takes a Dask array, not numpy.ndarray"):
        velmora.dask.resize(np.zeros(4), (8,))
    with pytest.raises(TypeError, match="use velmora.dask.resize"):
        velmora.resize(da.zeros(4), (8,))
    with pytest.raises(ValueError, match="axis 1 is 0"):
        velmora.dask.resize(da.zeros((4, 4)), (8, 0))
    with pytest.raises(ValueError, match="block_bytes is 0; it starts at 1"):
        velmora.dask.resize(da.zeros(4), (8,), block_bytes=0)
    with pytest.raises(TypeError, match="block_bytes must be an integer, not float"):
        velmora.dask.resize(da.zeros(4), (8,), block_bytes=1e6)
    a = np.zeros((6, 4))
    a[4, 1] = np.inf
    with pytest.raises(ValueError, match=r"an infinity at index \(4, 1\)"):
        velmora.dask.resize(da.from_array(a, chunks=3), (6, 7)).compute(scheduler="sync")
    b = np.zeros((4, 9, 5), np.float32)
    b[3, 6, 2] = np.nan
    for block_bytes in (64, velmora.dask.BLOCK_BYTES):
        with pytest.raises(ValueError, match=r"a NaN at index \(3, 6, 2\)"):
            velmora.dask.resize(da.from_array(b, chunks=(2, 4, 5)), (4, 9, 8),
                                block_bytes=block_bytes).compute(scheduler="sync")


def test_workers_of_256_mib_resize_an_array_twice_as_large_as_each(tmp_path):
    # 512 MiB of output, and 128 MiB of coefficients at the widest stage,
    # through two workers that idle at about 80 MiB; none may be restarted.
    zarr = pytest.importorskip("zarr")
    a = samples((1024, 2048), np.float32)
    da.from_array(a, chunks=512).to_zarr(str(tmp_path / "in.zarr"))
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, memory_limit="256MiB",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        workers = client.run(os.getpid)
        resized = velmora.dask.resize(da.from_zarr(str(tmp_path / "in.zarr")), (4096, 16384), dtype=np.float64,
                                      block_bytes=16 << 20)
        resized.to_zarr(str(tmp_path / "out.zarr"))
        assert client.run(os.getpid) == workers
    made, expected = zarr.open_array(str(tmp_path / "out.zarr"), mode="r"), velmora.resize(a, (4096, 16384),
                                                                                             dtype=np.float64)
    for rows in range(0, 4096, 1024):
        assert made[rows:rows + 1024].tobytes() == expected[rows:rows + 1024].tobytes()


def test_a_local_cluster_resizes_a_stack_a_folder_and_a_pyramid(tmp_path):
    image = pytest.importorskip("PIL.Image")
    source, target = tmp_path / "in", tmp_path / "out"
    source.mkdir()
    pictures = {"rgb.png": frames(np.uint8, (23, 31, 3)), "grey16.png": frames(np.uint16, (12, 50)) * 200,
                "float.tif": frames(np.float32, (30, 9))}
    for name, samples in pictures.items():
        image.fromarray(samples).save(source / name)
    (source / "broken.png").write_bytes(b"not a picture")
    a = frames(np.float32)
    zarr = pytest.importorskip("zarr")
    scan = zarr.open_array(str(tmp_path / "scan.zarr"), mode="w", shape=(300, 201), chunks=(64, 64), dtype=np.uint16)
    scan[:] = frames(np.uint16, scan.shape) * 200
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
         distributed.Client(cluster) as client:
        stack = velmora.dask.resize(da.from_array(a, chunks=(1, 20, 30)), (5, 41, 16))
        assert client.compute(stack).result().tobytes() == velmora.resize(a, (5, 41, 16)).tobytes()
        done = subprocess.run([sys.executable, os.path.join(os.environ["VELMORA_EXAMPLES"], "resize_folder.py"),
                               str(source), str(target), "--size", "45x17", "--scheduler", cluster.scheduler_address],
                              capture_output=True, text=True, timeout=60)
        made = subprocess.run([sys.executable, os.path.join(os.environ["VELMORA_EXAMPLES"], "pyramid.py"),
                               str(tmp_path / "scan.zarr"), str(tmp_path / "pyramid.zarr"), "--min-size", "75",
                               "--scheduler", cluster.scheduler_address], capture_output=True, text=True, timeout=60)
    assert made.returncode == 0, made.stderr
    missing = subprocess.run([sys.executable, os.path.join(os.environ["VELMORA_EXAMPLES"], "pyramid.py"),
                              str(tmp_path / "missing.zarr"), str(tmp_path / "none.zarr")],
                             capture_output=True, text=True, timeout=60)
    assert missing.returncode == 1 and missing.stderr == f"pyramid.py: {tmp_path / 'missing.zarr'} is not a Zarr array\n"
    assert made.stdout.splitlines()[-1].startswith(f"3 levels, 300 x 201 to 75 x 50, in {tmp_path / 'pyramid.zarr'}, in ")
    pyramid = zarr.open_group(str(tmp_path / "pyramid.zarr"), mode="r")
    assert sorted(pyramid.array_keys()) == ["0", "1", "2"] and pyramid["0"][:].tobytes() == scan[:].tobytes()
    for level, shape in [(1, (150, 100)), (2, (75, 50))]:
        assert pyramid[str(level)].chunks == (64, 64)[:1] + (min(64, shape[1]),)
        assert pyramid[str(level)][:].tobytes() == velmora.resize(pyramid[str(level - 1)][:], shape).tobytes()
    assert done.returncode == 1, done.stderr
    assert "resize_folder.py: broken.png: cannot identify image file" in done.stderr
    assert done.stdout.splitlines()[-1].startswith("3 pictures done, 1 failed, in ")
    for name, samples in pictures.items():
        made = np.asarray(image.open(target / name))
        expected = velmora.resize(samples, (17, 45) + samples.shape[2:])
        assert made.shape == expected.shape and np.array_equal(made, expected), name
