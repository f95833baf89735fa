"""Whole arrays between digital values and physical units, for a range as
kaQueryRangeInfo (or kaRQueryRangeInfo) returns it: (unit, min, max,
max_data). Both work element by element as kaUtilityDigitalToPhysical (with
KA_MODULE_TYPE_VESTRA_NONE) and kaUtilityPhysicalToDigital of the simulated
library do, without a driver call per value."""

from __future__ import annotations

import math
from typing import Tuple

import numpy as np
import numpy.typing as npt

RangeInfo = Tuple[int, float, float, int]

# The largest double below 1/2: added to a non-negative value and truncated,
# it rounds half away from zero exactly; adding 1/2 itself would round
# 0.49999999999999994 up to 1.
_BELOW_HALF = 0.49999999999999994


def _bounds(range_info: RangeInfo) -> Tuple[float, float, int]:
    _, low, high, max_data = range_info
    if not (math.isfinite(low) and math.isfinite(high) and low < high and max_data > 0):
        raise ValueError(f"not a range: {range_info!r}")
    return float(low), float(high), int(max_data)


def to_physical(digital: npt.ArrayLike, range_info: RangeInfo) -> npt.NDArray[np.float64]:
    """The values in the range's unit: min + digital * (max - min) / max_data.
    Values outside 0 .. max_data are refused with ValueError, as the
    library refuses them."""
    low, high, max_data = _bounds(range_info)
    values = np.asarray(digital)
    if values.dtype.kind not in "iu":
        raise TypeError(f"digital values must be integers, not {values.dtype}")
    if values.size and (values.min() < 0 or values.max() > max_data):
        raise ValueError(f"digital values must lie in 0 .. {max_data}")
    # The library's order of operations, so that every value is the same double.
    physical: npt.NDArray[np.float64] = low + values.astype(np.float64) * (high - low) / max_data
    return physical


def to_digital(physical: npt.ArrayLike, range_info: RangeInfo) -> npt.NDArray[np.int32]:
    """The digital values, rounded half away from zero and clamped to
    0 .. max_data, as an int32 array that kaIOStreamWrite takes as it is.
    NaN is refused with ValueError, as the library refuses it."""
    low, high, max_data = _bounds(range_info)
    values = np.asarray(physical, dtype=np.float64)
    if values.size and math.isnan(values.min()):  # min() is NaN where any value is
        raise ValueError("NaN has no digital value")
    # The library's order of operations, so that every value is the same
    # double; then clamped, which leaves only non-negative values to round.
    scaled = np.subtract(values, low)
    scaled *= max_data
    scaled /= high - low
    np.maximum(scaled, 0.0, out=scaled)
    np.minimum(scaled, max_data, out=scaled)
    scaled += _BELOW_HALF
    digital: npt.NDArray[np.int32] = scaled.astype(np.int32)
    return digital
