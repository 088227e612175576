"""velmora.dask and examples/resize_folder.py against velmora.resize in one
process, byte for byte: on Dask's threads, and on a local cluster of two
worker processes."""
import os
import subprocess
import sys

import numpy as np
import pytest

import velmora

da = pytest.importorskip("dask.array")
distributed = pytest.importorskip("distributed")
import velmora.dask  # noqa: E402


def frames(dtype, shape=(5, 20, 30)):
    values = np.random.default_rng(7).uniform(0, 255, shape)
    return values.astype(dtype)


@pytest.mark.parametrize("chunks, new", [((1, 20, 30), (5, 33, 17)), ((4, 7, 30), (5, 33, 17)),
                                         ((5, 20, 9), (5, 20, 13)), ((2, 3, 30), (5, 20, 13))])
@pytest.mark.parametrize("dtype", [np.uint8, np.float64])
def test_chunks_along_unchanged_axes_change_no_byte(dtype, chunks, new):
    a = frames(dtype)
    x = da.from_array(a, chunks=chunks)
    resized = velmora.dask.resize(x, new, dtype=np.float32)
    assert resized.chunks[0] == x.chunks[0] and resized.dtype == np.float32
    expected = velmora.resize(a, new, dtype=np.float32)
    assert resized.compute(scheduler="threads").tobytes() == expected.tobytes()


def test_errors():
    with pytest.raises(TypeError, match="takes a Dask array, not numpy.ndarray"):
        velmora.dask.resize(np.zeros(4), (8,))
    with pytest.raises(TypeError, match="use velmora.dask.resize"):
        velmora.resize(da.zeros(4), (8,))
    with pytest.raises(ValueError, match="axis 1 is 0"):
        velmora.dask.resize(da.zeros((4, 4)), (8, 0))
    a = np.zeros((6, 4))
    a[4, 1] = np.inf
    with pytest.raises(ValueError, match=r"an infinity at index \(4, 1\)"):
        velmora.dask.resize(da.from_array(a, chunks=3), (6, 7)).compute(scheduler="sync")
    b = np.zeros((4, 9, 5), np.float32)
    b[3, 6, 2] = np.nan
    with pytest.raises(ValueError, match=r"a NaN at index \(3, 6, 2\)"):
        velmora.dask.resize(da.from_array(b, chunks=(2, 4, 5)), (4, 9, 8)).compute(scheduler="sync")


def test_a_local_cluster_resizes_a_stack_and_a_folder(tmp_path):
    image = pytest.importorskip("PIL.Image")
    source, target = tmp_path / "in", tmp_path / "out"
    source.mkdir()
    pictures = {"rgb.png": frames(np.uint8, (23, 31, 3)), "grey16.png": frames(np.uint16, (12, 50)) * 200,
                "float.tif": frames(np.float32, (30, 9))}
    for name, samples in pictures.items():
        image.fromarray(samples).save(source / name)
    (source / "broken.png").write_bytes(b"not a picture")
    a = frames(np.float32)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
         distributed.Client(cluster) as client:
        stack = velmora.dask.resize(da.from_array(a, chunks=(1, 20, 30)), (5, 41, 16))
        assert client.compute(stack).result().tobytes() == velmora.resize(a, (5, 41, 16)).tobytes()
        done = subprocess.run([sys.executable, os.path.join(os.environ["VELMORA_EXAMPLES"], "resize_folder.py"),
                               str(source), str(target), "--size", "45x17", "--scheduler", cluster.scheduler_address],
                              capture_output=True, text=True, timeout=60)
    assert done.returncode == 1, done.stderr
    assert "resize_folder.py: broken.png: cannot identify image file" in done.stderr
    assert done.stdout.splitlines()[-1].startswith("3 pictures done, 1 failed, in ")
    for name, samples in pictures.items():
        made = np.asarray(image.open(target / name))
        expected = velmora.resize(samples, (17, 45) + samples.shape[2:])
        assert made.shape == expected.shape and np.array_equal(made, expected), name
