from typing import Literal, Sequence, SupportsIndex

import numpy as np
import numpy.typing as npt

__version__: str
MAX_RANK: int
MAX_AXIS_LENGTH: int
MAX_THREADS: int

def available_threads() -> int: ...
def resize(
    a: np.ndarray,
    shape: Sequence[SupportsIndex] | SupportsIndex,
    *,
    threads: int | None = ...,
    rounding: Literal["nearest", "truncate"] = ...,
    dtype: npt.DTypeLike | None = ...,
) -> np.ndarray: ...
