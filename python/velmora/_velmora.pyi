import numpy as np

version: str
max_rank: int
max_axis_length: int
max_threads: int

def available_threads() -> int: ...
def resize_into(input: np.ndarray, output: np.ndarray, threads: int, truncate: bool) -> None: ...
