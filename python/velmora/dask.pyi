from typing import Literal, Sequence, SupportsIndex

import dask.array as da
import numpy.typing as npt

def resize(
    x: da.Array,
    shape: Sequence[SupportsIndex] | SupportsIndex,
    *,
    threads: int | None = ...,
    rounding: Literal["nearest", "truncate"] = ...,
    dtype: npt.DTypeLike | None = ...,
) -> da.Array: ...
