from typing import Any

import numpy as np
import numpy.typing as npt

version: str
max_rank: int
max_axis_length: int
max_threads: int

def available_threads() -> int: ...
def resize_into(input: npt.NDArray[Any], output: npt.NDArray[Any], threads: int, truncate: bool) -> None: ...

class Plan:
    def __init__(
        self,
        in_sizes: tuple[int, ...],
        in_type: np.dtype[Any],
        out_sizes: tuple[int, ...],
        out_type: np.dtype[Any],
        threads: int,
        truncate: bool,
    ) -> None: ...
    def execute(self, input: npt.NDArray[Any], output: npt.NDArray[Any]) -> None: ...
    @property
    def nbytes(self) -> int: ...
def forward_axis_into(
    input: npt.NDArray[Any], coefficients: npt.NDArray[Any], axis: int, line_axes: int, largest: npt.NDArray[Any] | None, threads: int
) -> None: ...
def inverse_axis_into(
    coefficients: npt.NDArray[Any],
    output: npt.NDArray[Any],
    axis: int,
    length: int,
    line_axes: int,
    largest: npt.NDArray[Any] | None,
    threads: int,
    truncate: bool,
) -> None: ...
