from typing import Final, Literal, Sequence, SupportsIndex

import dask.array as da
import numpy.typing as npt

BLOCK_BYTES: Final[int]

def resize(
    x: da.Array,
    shape: Sequence[SupportsIndex] | SupportsIndex,
    *,
    threads: int | None = ...,
    rounding: Literal["nearest", "truncate"] = ...,
    dtype: npt.DTypeLike | None = ...,
    block_bytes: int = ...,
) -> da.Array: ...
