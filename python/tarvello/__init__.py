"""The TarvelloDemoSite model in Python.

A :class:`Site` is the model library bound to its description, a plan and a
scenario. It runs a year as a pandas DataFrame, many cases as one xarray
Dataset on the engine's batch workers, and design studies; each call crosses
into C++ once, not once per value.

>>> import tarvello
>>> site = tarvello.Site()
>>> year = site.run(days=365)
>>> year.attrs["figures"]["shortfall_days"] > 0
True
"""

from ._site import Site
from ._study import StudyResult
from . import _tarvello

#: The package's version, the project's one version (that of the model
#: library it carries); equal to ``importlib.metadata.version("tarvello")``
#: for an installed package.
__version__ = _tarvello.__version__

__all__ = ["Site", "StudyResult", "__version__"]
