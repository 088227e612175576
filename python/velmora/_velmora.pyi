import numpy as np

version: str
max_rank: int
max_axis_length: int
max_threads: int

def available_threads() -> int: ...
def resize_into(input: np.ndarray, output: np.ndarray, threads: int, truncate: bool) -> None: ...
def forward_axis_into(
    input: np.ndarray, coefficients: np.ndarray, axis: int, line_axes: int, largest: np.ndarray | None, threads: int
) -> None: ...
def inverse_axis_into(
    coefficients: np.ndarray,
    output: np.ndarray,
    axis: int,
    length: int,
    line_axes: int,
    largest: np.ndarray | None,
    threads: int,
    truncate: bool,
) -> None: ...
