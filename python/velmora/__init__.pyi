from typing import Any, Literal, NamedTuple, Sequence, SupportsIndex, TypeVar, overload

import numpy as np
import numpy.typing as npt

__version__: str
MAX_RANK: int
MAX_AXIS_LENGTH: int
MAX_THREADS: int

# The four sample types, and an array of one of them.
_Sample = TypeVar("_Sample", np.uint8, np.uint16, np.float32, np.float64)
_Shape = Sequence[SupportsIndex] | SupportsIndex
_Rounding = Literal["nearest", "truncate"]

def available_threads() -> int: ...
@overload
def resize(
    a: npt.NDArray[_Sample],
    shape: _Shape,
    *,
    threads: int | None = ...,
    rounding: _Rounding = ...,
    dtype: None = ...,
    out: None = ...,
) -> npt.NDArray[_Sample]: ...
@overload
def resize(
    a: npt.ArrayLike,
    shape: _Shape,
    *,
    threads: int | None = ...,
    rounding: _Rounding = ...,
    dtype: npt.DTypeLike | None = ...,
    out: npt.NDArray[_Sample],
) -> npt.NDArray[_Sample]: ...
@overload
def resize(
    a: npt.ArrayLike,
    shape: _Shape,
    *,
    threads: int | None = ...,
    rounding: _Rounding = ...,
    dtype: npt.DTypeLike | None = ...,
    out: None = ...,
) -> npt.NDArray[Any]: ...

class Plan:
    def __init__(
        self,
        shape_in: _Shape,
        shape_out: _Shape,
        dtype_in: npt.DTypeLike,
        dtype_out: npt.DTypeLike | None = ...,
        *,
        threads: int | None = ...,
        rounding: _Rounding = ...,
    ) -> None: ...
    @property
    def shape_in(self) -> tuple[int, ...]: ...
    @property
    def shape_out(self) -> tuple[int, ...]: ...
    @property
    def dtype_in(self) -> np.dtype[Any]: ...
    @property
    def dtype_out(self) -> np.dtype[Any]: ...
    @property
    def threads(self) -> int | None: ...
    @property
    def rounding(self) -> _Rounding: ...
    @property
    def nbytes(self) -> int: ...
    @overload
    def execute(self, a: npt.ArrayLike, out: npt.NDArray[_Sample]) -> npt.NDArray[_Sample]: ...
    @overload
    def execute(self, a: npt.ArrayLike, out: None = ...) -> npt.NDArray[Any]: ...
    @overload
    def __call__(self, a: npt.ArrayLike, out: npt.NDArray[_Sample]) -> npt.NDArray[_Sample]: ...
    @overload
    def __call__(self, a: npt.ArrayLike, out: None = ...) -> npt.NDArray[Any]: ...

class PlanCacheInfo(NamedTuple):
    plans: int
    bytes: int
    max_plans: int
    max_bytes: int

def clear_plan_cache() -> None: ...
def set_plan_cache(*, max_plans: SupportsIndex | None = ..., max_bytes: SupportsIndex | None = ...) -> None: ...
def plan_cache_info() -> PlanCacheInfo: ...
