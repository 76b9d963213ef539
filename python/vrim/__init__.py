"""Shake keys of VRIM_S scene files, through the module itself.

``vrim`` is the Python side of the ``vrim`` tool. It reads scenes with the
same reader as the commands, evaluates and edits keys through the real
module file (``vrim_s.p``) loaded into the stand-in host, and writes scenes
through the tool's one safe writer. What a script gets here is what
``vrim ls``, ``check``, ``bake`` and ``edit`` print.

A session::

    >>> import vrim
    >>> scene = vrim.open("samples/two-items.lws")
    >>> [item.name for item in scene.items]
    ['Camera_Rig', 'Lamp_Swing']
    >>> scene.item("Lamp_Swing").keys[0].period
    0.5
    >>> rows = scene.item("Lamp_Swing").offsets([10, 11])   # (frame, time, x, y, z)
    >>> vrim.edit("shot.lws", item="Lamp_Swing",
    ...           actions=[vrim.Action.shift(12)], dry_run=True).diff

Threads: every call lets go of the interpreter lock while it works. Scenes
are read and checked, and items evaluated, in parallel threads; only the
moments the module reads a block, and ``edit``, ``report`` and ``diff``
whole, are taken one at a time (the module runs in one stand-in host per
process). Scene, Item, Key and Finding objects are read-only and may be
shared between threads freely. Ctrl-C raises KeyboardInterrupt within
moments during ``open``, ``check``, ``edit`` and ``report``; nothing is
written then.
"""

from __future__ import annotations

import array as _array
import difflib as _difflib
import enum as _enum
import json as _json
import math as _math
import operator as _operator
import os as _os
import re as _re
import threading as _threading
import weakref as _weakref
from collections.abc import Sequence as _SequenceView
from dataclasses import FrozenInstanceError as _Frozen
from dataclasses import dataclass as _dataclass
from dataclasses import field as _field
from typing import Any as _Any
from typing import Iterable as _Iterable
from typing import Iterator as _Iterator
from typing import Optional as _Optional
from typing import Sequence as _Sequence
from typing import Tuple as _Tuple
from typing import Union as _Union

from ._where import BUILD_MODULE as _BUILD_MODULE
from ._where import BUILT_FOR as _BUILT_FOR


def _compiled() -> _Any:
    """The compiled side, or an ImportError that says why it cannot load."""
    import sys

    running = "%d.%d" % sys.version_info[:2]
    if running != _BUILT_FOR:
        raise ImportError(f"vrim was built for CPython {_BUILT_FOR}; this is CPython {running}: "
                          f"run it with python{_BUILT_FOR}, or build vrim for this Python")
    from . import _vrim as compiled

    return compiled


_vrim = _compiled()

__all__ = [
    "Action",
    "Change",
    "CheckResult",
    "CheckedFile",
    "EditRefused",
    "EditResult",
    "Error",
    "Finding",
    "Item",
    "ItemError",
    "Key",
    "ModuleError",
    "ReportResult",
    "ReportScene",
    "Scene",
    "SceneError",
    "Severity",
    "StaleSceneError",
    "UsageError",
    "WriteError",
    "Validation",
    "check",
    "diff",
    "edit",
    "iter_items",
    "module_path",
    "report",
    "open",
    "validate",
]

__version__ = "1.0.0"

_Row = _Tuple[float, float, float, float, float]
_PathLike = _Union[str, "_os.PathLike[str]"]


def __dir__() -> "list[str]":
    return sorted(__all__ + ["__version__"])


# ---------------------------------------------------------------------------
# Errors


def _shown(text: str) -> str:
    """Text for people, as the commands show it: a name from a scene may hold
    control or bidirectional characters that would steer a terminal, so each
    character that does not print (bar the line break) is written as an
    escape, ``\\x1b`` or ``\\u202e``. The attributes keep the text as it is."""
    if text.isprintable():
        return text
    return "".join(
        c if c.isprintable() or c == "\n"
        else f"\\x{ord(c):02x}" if ord(c) < 0x100
        else f"\\u{ord(c):04x}" if ord(c) < 0x10000
        else f"\\U{ord(c):08x}"
        for c in text)


class Error(Exception):
    """Every refusal of vrim.

    Attributes: ``scene`` (the scene file), ``item`` (the item's name or
    address), ``action`` (the ``Action`` it concerns, as written), each None
    when it does not apply, and ``unasked`` (a strict edit's refusal: each
    change the module's save would have made beyond the actions)."""

    def __init__(
        self,
        message: str,
        scene: _Optional[str] = None,
        item: _Optional[str] = None,
        action: _Optional[str] = None,
        unasked: _Tuple[str, ...] = (),
    ) -> None:
        super().__init__(_shown(message))
        self.scene = scene
        self.item = item
        self.action = action
        self.unasked = unasked


class ModuleError(Error):
    """The module file is missing or is not a shake module."""


class SceneError(Error):
    """A scene cannot be read, or no scene file was found where one was asked
    for."""


class StaleSceneError(SceneError):
    """A scene changed (on disk, or through ``vrim.edit``) since it was
    opened: its items no longer say what the file holds. ``Scene.reload()``
    gives the scene as it is now."""


class ItemError(Error, LookupError):
    """No item (or block) of that name or number has a shake; the message
    lists the items that have one, and the closest names."""


class EditRefused(Error):
    """An edit was refused; the scene file is as it was."""


class UsageError(Error, ValueError):
    """An argument the call cannot take (an unknown field, a bad frame...)."""


class WriteError(Error, OSError):
    """A file may not be written where it was asked to be (a folder, a
    read-only file, one of the files read), or writing it failed; whatever
    was there is as it was."""


_KINDS = {
    "module": ModuleError,
    "scene": SceneError,
    "stale": StaleSceneError,
    "item": ItemError,
    "edit": EditRefused,
    "usage": UsageError,
    "write": WriteError,
}

# The command's options as a script names them: a refusal says what to give
# to the call that made it.
_OPTIONS = {
    "force": "force=True",
    "break-hard-links": "break_hard_links=True",
    "overwrite-backup": "overwrite_backup=True",
    "backup": "backup=True",
    "dry-run": "dry_run=True",
    "strict": "strict=True",
    "all-items": "all_items=True",
    "item": "item",
    "block": "block",
    "set": "Action.set",
    "key": "Action.key",
    "add-key": "Action.add_key()",
    "delete-key": "Action.delete_key()",
    "shift": "Action.shift",
    "script": "Action.script",
    "frames": "frames",
    "fps": "fps",
}
_OPTION = _re.compile(r"(?<![\w-])--([a-z][a-z-]*)")
# An action with its value, as a script writes it.
_SET = _re.compile(r"(?<![\w-])--set ([a-z][a-z-]*)=(\S+)")
_NUMBERED = _re.compile(r"(?<![\w-])--(key|shift) (-?\d+)")


# A field a line names after its key ("key 2, freq: ...").
_FIELD_AFTER_KEY = _re.compile(r"(?<=, )(freq|width-[xyz]|fall-off)(?=: )")


def _in_python_terms(message: str) -> str:
    message = _SET.sub(lambda m: f"Action.set({_KEY_NAME.get(m.group(1), m.group(1))!r}, "
                                 f"{m.group(2)})", message)
    message = _FIELD_AFTER_KEY.sub(lambda m: _KEY_NAME[m.group(1)], message)
    message = _NUMBERED.sub(lambda m: f"Action.{m.group(1)}({m.group(2)})", message)
    return _OPTION.sub(lambda m: _OPTIONS.get(m.group(1), m.group(0)), message)


def _raise(failure: _vrim.Failure, actions: _Sequence["Action"] = ()) -> BaseException:
    message, kind, scene, item, action, unasked, index = failure.args[0]
    if kind == "interrupted":
        return KeyboardInterrupt(message)
    own = getattr(actions, "own", {})
    if item in own:
        actions = own[item]
    if 0 <= index < len(actions):
        action = repr(actions[index])
    elif action:
        action = _in_python_terms(action)
    return _KINDS.get(kind, Error)(_in_python_terms(message), scene or None, item or None,
                                   action or None, tuple(_in_python_terms(u) for u in unasked))


class _Translated:
    """Turns the compiled side's failures into the package's exceptions."""

    def __init__(self, actions: _Sequence["Action"] = ()) -> None:
        self._actions = actions

    def __enter__(self) -> None:
        return None

    def __exit__(self, kind: _Any, value: _Any, trace: _Any) -> None:
        if isinstance(value, _vrim.Failure):
            raise _raise(value, self._actions) from None


_translated = _Translated()


# ---------------------------------------------------------------------------
# Arguments: each checked where it comes in, named as the caller wrote it


def _type_name(value: object) -> str:
    return type(value).__name__


def _flag(name: str, value: object) -> bool:
    if not isinstance(value, bool):
        raise TypeError(f"{name} must be True or False, not {_type_name(value)}")
    return value


def _whole(name: str, value: object, least: _Optional[int] = None, what: str = "an integer"
           ) -> int:
    if isinstance(value, bool) or isinstance(value, float):
        raise TypeError(f"{name} must be {what}, not {_type_name(value)}")
    try:
        number = _operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{name} must be {what}, not {_type_name(value)}") from None
    if least is not None and number < least:
        raise ValueError(f"{name} must be {what} from {least}, not {number}")
    return number


def _real(name: str, value: object, positive: bool = False) -> float:
    if isinstance(value, (bool, str, bytes)) or not hasattr(value, "__float__"):
        raise TypeError(f"{name} must be a number, not {_type_name(value)}")
    number = float(value)  # type: ignore[arg-type]
    if not _math.isfinite(number):
        raise ValueError(f"{name} must be a finite number, not {number}")
    if positive and number <= 0:
        raise ValueError(f"{name} must be a number above 0, not {number}")
    return number


def _text(name: str, value: object, what: str) -> str:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be {what} (str), not {_type_name(value)}")
    return value


def _names(name: str, values: object) -> "list[str]":
    if isinstance(values, (str, bytes)) or not isinstance(values, _Iterable):
        raise TypeError(f"{name} must be a list of item names, not {_type_name(values)}")
    return [_text(f"{name}[{i}]", v, "an item name") for i, v in enumerate(values)]


def _path(name: str, value: object) -> str:
    if not isinstance(value, (str, _os.PathLike)):
        raise TypeError(f"{name} must be a path (str or os.PathLike), not {_type_name(value)}")
    path = _os.fspath(value)
    if not isinstance(path, str):
        raise TypeError(f"{name} must be a path of text, not {_type_name(path)}")
    if not path:
        raise ValueError(f"{name} must not be empty")
    return path


def _numpy_column(name: str, values: _Any, width: int = 1) -> _Any:
    """A NumPy array of numbers as contiguous float64, its shape checked:
    (n,) for width 1, else (n, width)."""
    import numpy

    if values.dtype.kind not in "iuf":
        raise TypeError(f"{name} must hold integers or floats, not {values.dtype}")
    wanted = 1 if width == 1 else 2
    if values.ndim != wanted or (width > 1 and values.shape[1] != width):
        shape = "(n,)" if width == 1 else f"(n, {width})"
        raise ValueError(f"{name} must be of shape {shape}, not {values.shape}")
    picked = numpy.ascontiguousarray(values, dtype=numpy.float64)
    bad = numpy.flatnonzero(~numpy.isfinite(picked.reshape(-1)))
    if bad.size:
        raise ValueError(f"{name} must hold finite numbers; it holds "
                         f"{picked.reshape(-1)[bad[0]]}")
    return picked


def _is_numpy(values: object) -> bool:
    return type(values).__module__ == "numpy" and hasattr(values, "dtype")


def _samples(name: str, values: object) -> _Any:
    """Frames or times: a NumPy array, or any iterable of numbers, as a
    contiguous buffer of float64."""
    if _is_numpy(values):
        return _numpy_column(name, values)
    if isinstance(values, (str, bytes)) or not isinstance(values, _Iterable):
        raise TypeError(f"{name} must be an iterable of numbers, not {_type_name(values)}")
    picked = _array.array("d")
    for i, value in enumerate(values):
        picked.append(_real(f"{name}[{i}]", value))
    return picked


def _base_rows(values: object) -> "tuple[_Any, _Any]":
    """bake's base track: rows (frame, x, y, z), as frames and positions."""
    if _is_numpy(values):
        table = _numpy_column("base", values, 4)
        return table[:, 0].copy(), table[:, 1:].copy()
    if isinstance(values, (str, bytes)) or not isinstance(values, _Iterable):
        raise TypeError(f"base must be an iterable of rows (frame, x, y, z), not "
                        f"{_type_name(values)}")
    frames = _array.array("d")
    rest = _array.array("d")
    for i, row in enumerate(values):
        if isinstance(row, (str, bytes)) or not isinstance(row, _Sequence) or len(row) != 4:
            raise ValueError(f"base[{i}] must be a row (frame, x, y, z)")
        frames.append(_real(f"base[{i}][0]", row[0]))
        rest.extend(_real(f"base[{i}][{j}]", row[j]) for j in (1, 2, 3))
    return frames, rest


# ---------------------------------------------------------------------------
# The module file


def module_path() -> str:
    """The module file vrim uses when none is given, found as
    ``vrim --version`` finds it: the file ``VRIM_MODULE`` names; else the
    module an install put beside this package (``<prefix>/lib/vrim/vrim_s.p``);
    else the build's own. When none exists, the first place looked in."""
    named = _os.environ.get("VRIM_MODULE")
    if named:
        return named
    here = _os.path.dirname(_os.path.abspath(__file__))
    installed = _os.path.normpath(_os.path.join(here, "..", "..", "..", "vrim", "vrim_s.p"))
    built = _os.path.normpath(_os.path.join(here, _BUILD_MODULE)) if _BUILD_MODULE else ""
    for candidate in (installed, built):
        if candidate and _os.path.isfile(candidate):
            return candidate
    return installed


_libraries: "dict[str, _Any]" = {}
_libraries_lock = _threading.Lock()


def _library(module: _Optional[object]) -> _Any:
    path = module_path() if module is None else _path("module", module)
    with _libraries_lock:
        library = _libraries.get(path)
        if library is None:
            with _translated:
                library = _vrim.Library(path)
            _libraries[path] = library
        return library


@_dataclass(frozen=True)
class Validation:
    """What the validator judged of a module file.

    Attributes: ``module`` (the file), ``lines`` (one per check, as
    ``vrim validate`` prints them), ``failed`` (failed checks), ``passed``."""

    module: str
    lines: _Tuple[str, ...]
    failed: int

    @property
    def passed(self) -> bool:
        """True when every check passed."""
        return self.failed == 0


def validate(module: _Optional[str] = None, seed: int = 0) -> Validation:
    """Runs ``vrim validate`` on a module file (the default one without a
    path). Raises ModuleError when the file is not a shake module."""
    path = module_path() if module is None else _path("module", module)
    seed = _whole("seed", seed, 0)
    with _translated:
        lines, failed = _vrim.validate(path, seed)
    return Validation(path, tuple(lines), failed)


# ---------------------------------------------------------------------------
# Scenes


@_dataclass(frozen=True)
class Key:
    """One shake key as the module loaded it: a value, compared, hashed,
    pickled and copied with ``dataclasses.replace`` like any other.

    Attributes: ``start``, ``end`` (frames), ``period`` (seconds),
    ``width`` (the amplitude on X, Y and Z), ``fall_off`` (it fades out)."""

    start: int
    end: int
    period: float
    width: _Tuple[float, float, float]
    fall_off: bool


class Severity(str, _enum.Enum):
    """How much a finding of check weighs; equal to its name as check
    prints it ("note", "warning", "error"), and ordered by weight."""

    NOTE = "note"
    WARNING = "warning"
    ERROR = "error"

    @property
    def rank(self) -> int:
        """0 for a note, 1 a warning, 2 an error."""
        return ("note", "warning", "error").index(self.value)

    def __lt__(self, other: object) -> bool:
        if isinstance(other, Severity):
            return self.rank < other.rank
        return NotImplemented

    def __str__(self) -> str:
        return self.value


@_dataclass(frozen=True)
class Finding:
    """One finding of ``vrim check``. Findings sort by scene, line, block
    and key.

    Attributes: ``severity`` (a Severity), ``kind`` (check's kind of
    finding), ``line`` (of the scene file; None when it is about no line),
    ``key`` (from 1; None when it is about no one key), ``message``,
    ``scene``, ``item`` and ``block`` (None for a finding about the scene
    as a whole)."""

    severity: Severity
    kind: str
    line: _Optional[int]
    key: _Optional[int]
    message: str
    scene: str
    item: _Optional[str] = None
    block: _Optional[int] = None

    def _order(self) -> "tuple[object, ...]":
        return (self.scene, self.line or 0, self.block or 0, self.key or 0,
                self.severity.rank, self.kind, self.message)

    def __lt__(self, other: "Finding") -> bool:
        if not isinstance(other, Finding):
            return NotImplemented
        return self._order() < other._order()


def _finding(data: _Any, scene: str, item: _Optional[str], block: _Optional[int]) -> Finding:
    return Finding(Severity(data.severity), data.kind, data.line or None, data.key or None,
                   data.message, scene, item, block)


# Each scene path's count of edits made through this package: a Scene
# opened before the count moved is stale.
_edits: "dict[str, int]" = {}
_edits_lock = _threading.Lock()


def _scene_key(path: str) -> str:
    return _os.path.realpath(path)


def _edit_count(path: str) -> int:
    with _edits_lock:
        return _edits.get(_scene_key(path), 0)


def _edited(path: str) -> None:
    with _edits_lock:
        key = _scene_key(path)
        _edits[key] = _edits.get(key, 0) + 1


class _ReadOnly:
    """Refuses assignment: a view of a file says what was read, nothing else."""

    __slots__ = ()

    def __setattr__(self, name: str, value: object) -> None:
        raise _Frozen(f"cannot assign to field {name!r}")

    def __delattr__(self, name: str) -> None:
        raise _Frozen(f"cannot delete field {name!r}")


class Item(_ReadOnly):
    """One key block of a scene, read-only.

    Attributes: ``name`` and ``block`` (what every command takes with
    ``--item`` and ``--block``), ``kind`` ("object", "null", "camera",
    "light", "bone"; None before any item), ``first_line``, ``last_line``,
    ``key_count``, ``errors``, ``warnings`` (check's findings, counted),
    ``keys`` and ``findings`` (read from the file on first use), ``scene``."""

    # No per-item dictionary; the scene makes each Item when it is asked
    # for and keeps it only while someone holds it (a weak reference), so
    # that the same item is the same object and a scene of hundreds of
    # thousands of items holds none.
    __slots__ = ("scene", "_data", "name", "block", "kind", "first_line", "last_line",
                 "key_count", "errors", "warnings", "_keys", "_findings", "__weakref__")

    scene: "Scene"
    name: str
    block: int
    kind: _Optional[str]
    first_line: int
    last_line: int
    key_count: int
    errors: int
    warnings: int

    def __init__(self, scene: "Scene", data: _Any) -> None:
        put = object.__setattr__
        put(self, "scene", scene)
        put(self, "_data", data)
        for name in ("name", "block", "first_line", "last_line", "key_count", "errors",
                     "warnings"):
            put(self, name, getattr(data, name))
        put(self, "kind", data.kind or None)
        put(self, "_keys", None)
        put(self, "_findings", None)

    def __repr__(self) -> str:
        return f"<vrim.Item {self.name!r} block {self.block}, {self.key_count} keys>"

    def _library(self) -> _Any:
        self.scene._check_fresh(self.name)
        return self.scene._library

    @property
    def findings(self) -> _Tuple[Finding, ...]:
        """Check's findings of this item, in line order (the block is
        checked again on first use; ``errors`` and ``warnings`` count them
        without that)."""
        library = self._library()
        if self._findings is None:
            with _translated:
                found = library.findings(self.scene._data, self._data)
            object.__setattr__(self, "_findings", tuple(
                _finding(f, self.scene.path, self.name, self.block) for f in found))
        return self._findings  # type: ignore[return-value]

    @property
    def keys(self) -> _Tuple[Key, ...]:
        """The keys as the module loaded them (read from the file on first use)."""
        library = self._library()
        if self._keys is None:
            with _translated:
                loaded = library.keys(self.scene._data, self._data)
            object.__setattr__(self, "_keys", tuple(
                Key(k.start, k.end, k.period, tuple(k.width), k.fall_off) for k in loaded))
        return self._keys  # type: ignore[return-value]

    def _pick(self, frames: object, times: object, fps: object) -> "tuple[_Any, float, bool]":
        rate = self.scene.fps if fps is None else _real("fps", fps, positive=True)
        if frames is not None and times is not None:
            raise TypeError("give frames or times, not both")
        if times is not None:
            return _samples("times", times), rate, True
        if frames is not None:
            return _samples("frames", frames), rate, False
        library = self._library()
        with _translated:
            return _array.array("d", library.default_frames(self.scene._data, self._data)), \
                rate, False

    def _evaluate(self, frames: _Any, fps: float, times: bool, out: _Any,
                  rest: _Optional[_Any] = None) -> None:
        library = self._library()
        with _translated:
            library.evaluate_into(self.scene._data, self._data, frames, fps, rest, out, times)

    def offsets(self, frames: _Optional[_Iterable[float]] = None, *,
                times: _Optional[_Iterable[float]] = None,
                fps: _Optional[float] = None) -> "list[_Row]":
        """The item's offsets from the module, as rows (frame, time, x, y, z).

        ``frames`` may be fractional; ``times`` are seconds instead (each
        row is at exactly that time). Either may be a NumPy array of one
        dimension. Without either: the frames ``vrim bake`` samples (every
        ``frame_step`` frames of the scene's range, else of the item's keys). ``fps`` defaults to the scene's rate."""
        picked, rate, as_times = self._pick(frames, times, fps)
        out = _array.array("d", bytes(8 * 5 * len(picked)))
        self._evaluate(picked, rate, as_times, out)
        return [tuple(out[i:i + 5]) for i in range(0, len(out), 5)]  # type: ignore[misc]

    def offsets_array(self, frames: _Optional[_Any] = None, *,
                      times: _Optional[_Any] = None, fps: _Optional[float] = None) -> _Any:
        """The same rows as a NumPy array of shape (n, 5) and dtype float64,
        written by the module straight into the array."""
        numpy = _numpy()
        picked, rate, as_times = self._pick(frames, times, fps)
        out = numpy.empty((len(picked), 5), dtype=numpy.float64)
        self._evaluate(picked, rate, as_times, out)
        return out

    def bake(self, base: _Iterable[_Sequence[float]], *, fps: _Optional[float] = None
             ) -> "list[_Row]":
        """The shake on top of the item's own track, as ``vrim bake --base``:
        ``base`` holds rows (frame, x, y, z) (a list, or a NumPy array of
        shape (n, 4)), finite numbers only, as bake takes them; the result
        rows (frame, time, x, y, z) are the shaken positions."""
        rate = self.scene.fps if fps is None else _real("fps", fps, positive=True)
        frames, rest = _base_rows(base)
        out = _array.array("d", bytes(8 * 5 * len(frames)))
        self._evaluate(frames, rate, False, out, rest)
        return [tuple(out[i:i + 5]) for i in range(0, len(out), 5)]  # type: ignore[misc]


def _numpy() -> _Any:
    try:
        import numpy
    except ImportError:
        raise ImportError("offsets_array needs NumPy: install python3-numpy "
                          "(or numpy into this Python)") from None
    return numpy


class _Items(_SequenceView):  # type: ignore[type-arg]
    """A scene's items in file order: a read-only sequence whose Items are
    made when indexed or iterated over. It compares equal to a tuple of the
    same Items."""

    __slots__ = ("_scene",)

    # Items made together when iterating: one call into the table for each.
    _BATCH = 256

    def __init__(self, scene: "Scene") -> None:
        object.__setattr__(self, "_scene", scene)

    def __setattr__(self, name: str, value: object) -> None:
        raise _Frozen(f"cannot assign to field {name!r}")

    def __len__(self) -> int:
        return int(self._scene._data.item_count)

    def __getitem__(self, index: _Any) -> _Any:
        if isinstance(index, slice):
            return tuple(self[i] for i in range(*index.indices(len(self))))
        number = _operator.index(index)
        count = len(self)
        if number < 0:
            number += count
        if not 0 <= number < count:
            raise IndexError(f"item index out of range: {index} of {count} items")
        return self._scene._made(number, None)

    def __iter__(self) -> _Iterator[Item]:
        data = self._scene._data
        for first in range(0, len(self), self._BATCH):
            for offset, item in enumerate(data.items(first, self._BATCH)):
                yield self._scene._made(first + offset, item)

    def __eq__(self, other: object) -> bool:
        if isinstance(other, (tuple, _Items)):
            return len(self) == len(other) and tuple(self) == tuple(other)
        return NotImplemented

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return f"<vrim items of {self._scene.path!r}: {len(self)}>"


class Scene(_ReadOnly):
    """A scene file as ``vrim.open`` read it, read-only. Only the place of
    each block is kept, in a few bytes an item; an Item is made when
    it is asked for, and its keys and findings are read from the file then.

    Attributes: ``path``, ``fps``, ``first_frame``, ``last_frame`` (None
    when the scene gives none), ``frame_step`` (the scene's FrameStep, 1
    without one: bake and ``Item.offsets()`` sample every so many frames),
    ``items`` (the items with a shake: a read-only sequence),
    ``findings`` (check's findings about the scene as a whole; each item
    holds its own), ``errors``, ``warnings`` (of the scene and its blocks)."""

    __slots__ = ("_library", "_data", "_module", "_edits", "_alive", "_making", "_header_only",
                 "path", "fps", "first_frame", "last_frame", "frame_step", "items", "findings",
                 "errors", "warnings")

    path: str
    fps: float
    first_frame: _Optional[int]
    last_frame: _Optional[int]
    frame_step: float
    items: _Sequence[Item]
    findings: _Tuple[Finding, ...]
    errors: int
    warnings: int

    def __init__(self, library: _Any, data: _Any, module: _Optional[str], edits: int) -> None:
        put = object.__setattr__
        put(self, "_library", library)
        put(self, "_data", data)
        put(self, "_module", module)
        put(self, "_edits", edits)
        for name in ("path", "fps", "first_frame", "last_frame", "frame_step", "errors",
                     "warnings"):
            put(self, name, getattr(data, name))
        put(self, "_alive", _weakref.WeakValueDictionary())
        put(self, "_making", _threading.Lock())
        put(self, "_header_only", False)
        put(self, "items", _Items(self))
        put(self, "findings", tuple(_finding(f, data.path, None, None) for f in data.findings))

    def __repr__(self) -> str:
        if self._header_only:
            return f"<vrim.Scene {self.path!r}: its header, as iter_items read it>"
        return f"<vrim.Scene {self.path!r}: {len(self.items)} items with a shake>"

    def __iter__(self) -> _Iterator[Item]:
        return iter(self.items)

    def __len__(self) -> int:
        return len(self.items)

    def _made(self, index: int, data: _Any) -> Item:
        """The Item at index: the one a caller still holds, else made anew
        (from data when the caller has it already)."""
        with self._making:  # two threads asking for one item get one object
            item: _Optional[Item] = self._alive.get(index)
            if item is None:
                item = Item(self, self._data.item(index) if data is None else data)
                self._alive[index] = item
            return item

    def _check_fresh(self, item: _Optional[str] = None) -> None:
        if _edit_count(self.path) != self._edits:
            raise StaleSceneError(f"'{self.path}' was edited through vrim.edit since it was "
                                  "opened; call reload() for the scene as it is now",
                                  self.path, item)

    def reload(self) -> "Scene":
        """The scene as its file is now, opened again (this one stays as it
        was, and stale if the file changed)."""
        return open(self.path, module=self._module)

    def _names(self) -> str:
        count = len(self.items)
        if not count:
            return "none"
        shown = ", ".join(i.name for i in self._data.items(0, 12))
        return shown + (f" and {count - 12} more" if count > 12 else "")

    def _all_names(self) -> _Iterator[str]:
        """Every item's name, read a batch at a time: a scene's names are
        never all held at once."""
        for first in range(0, len(self.items), _Items._BATCH):
            for data in self._data.items(first, _Items._BATCH):
                yield data.name

    def item(self, name: str) -> Item:
        """The item of that name (as ``--item`` takes it). Raises ItemError,
        listing the items with a shake and the closest names, when there is
        none."""
        _text("name", name, "an item name")
        index = self._data.find_item(name)
        if index is not None:
            return self._made(index, None)
        raise ItemError(f"'{self.path}': no item {name!r} with a shake"
                        f"{_did_you_mean(name, self._all_names())}; "
                        f"items with a shake: {self._names()}", self.path, name)

    def block(self, number: int) -> Item:
        """The key block of that number, from 1 (as ``--block`` takes it)."""
        number = _whole("number", number, 1, "a block number")
        index = self._data.find_block(number)
        if index is not None:
            return self._made(index, None)
        raise ItemError(f"'{self.path}': no block {number}; its blocks are numbered 1 to "
                        f"{len(self.items)}" if self.items else
                        f"'{self.path}': no block {number}; it has no key block",
                        self.path, f"block {number}")


def _did_you_mean(name: str, names: _Iterable[str]) -> str:
    close = _difflib.get_close_matches(name, names, n=3, cutoff=0.6)
    if not close:
        return ""
    return " (did you mean " + " or ".join(repr(c) for c in close) + "?)"


def open(path: _PathLike, *, module: _Optional[str] = None) -> Scene:
    """Reads a scene file through, checking each key block as ``vrim check``
    does. Raises SceneError when it is no scene file or cannot be read."""
    path = _path("path", path)
    library = _library(module)
    edits = _edit_count(path)
    with _translated:
        data = library.open(path)
    return Scene(library, data, module, edits)


def iter_items(path: _PathLike, *, module: _Optional[str] = None) -> _Iterator[Item]:
    """Reads a scene file one item at a time, checking each key block as
    ``vrim.open`` does, and yields each Item as it is read: memory holds
    the item in hand, never the scene, however large the file.

    Each Item is whole (name, block, counts) and its ``keys``,
    ``findings``, ``offsets()``, ``offsets_array()`` and ``bake()`` work
    during the loop and after it. Its ``scene`` holds only what the header
    says (``path``, ``fps``, ``first_frame``, ``last_frame``,
    ``frame_step``): no items, findings or counts; ``vrim.open`` or
    ``vrim.check`` give those. A scene that cannot be read raises
    SceneError: at the call when it cannot be opened, else after the items
    before the trouble."""
    path = _path("path", path)
    library = _library(module)
    edits = _edit_count(path)
    with _translated:
        stream = library.stream(path)
    return _streamed(library, stream, module, edits)


def _streamed(library: _Any, stream: _Any, module: _Optional[str],
              edits: int) -> _Iterator[Item]:
    scene: _Optional[Scene] = None
    while True:
        with _translated:
            data = library.next(stream)
        if data is None:
            return
        if scene is None:
            # The header is whole once the first block is read.
            scene = Scene(library, stream.scene, module, edits)
            object.__setattr__(scene, "_header_only", True)
        yield Item(scene, data)


@_dataclass(frozen=True)
class CheckedFile:
    """One scene file of a check.

    Attributes: ``path``, ``blocks``, ``keys``, ``errors``, ``warnings``,
    ``no_shake`` (it holds no key block), ``error`` (why it could not be read
    whole; None when it was)."""

    path: str
    blocks: int
    keys: int
    errors: int
    warnings: int
    no_shake: bool
    error: _Optional[str]


@_dataclass(frozen=True)
class CheckResult:
    """What ``vrim check`` finds over files and folders: a gate.

    Attributes: ``files`` (each scene file), ``findings`` (every finding, in
    the order check prints them), ``blocks``, ``keys``, ``errors``,
    ``warnings`` (totals), ``status`` (the exit status the command gives:
    0 clean, 1 warnings, 2 errors), ``passed`` (no error). Iterating and
    ``len`` go over the findings."""

    files: _Tuple[CheckedFile, ...]
    findings: _Tuple[Finding, ...]
    blocks: int
    keys: int
    errors: int
    warnings: int
    status: int

    @property
    def passed(self) -> bool:
        """True when check found no error."""
        return self.errors == 0

    def __iter__(self) -> _Iterator[Finding]:
        return iter(self.findings)

    def __len__(self) -> int:
        return len(self.findings)


def check(*paths: _PathLike, recursive: bool = False,
          module: _Optional[str] = None) -> CheckResult:
    """Runs ``vrim check`` over scene files and folders (their sub-folders
    too with ``recursive``). Raises SceneError when they hold no scene file:
    a gate never passes on nothing."""
    if not paths:
        raise TypeError("check needs at least one scene file or folder")
    names = [_path(f"paths[{i}]", p) for i, p in enumerate(paths)]
    recursive = _flag("recursive", recursive)
    library = _library(module)
    with _translated:
        done = library.check(names, recursive)
    return CheckResult(
        tuple(CheckedFile(f.path, f.blocks, f.keys, f.errors, f.warnings, f.no_shake,
                          f.error or None) for f in done.files),
        tuple(_finding(f.finding, f.scene, f.item or None, f.block or None)
              for f in done.findings),
        done.blocks, done.keys, done.errors, done.warnings, done.status)


def diff(old: _PathLike, new: _PathLike, *, tolerance: float = 1e-6, recursive: bool = False,
         module: _Optional[str] = None) -> "dict[str, _Any]":
    """Compares the shakes of two versions of a scene, or of two folders of
    scenes (``recursive``: their sub-folders too), as ``vrim diff --json``
    does, and returns that document as a dict (docs/schema/diff.json): the
    items changed, added, removed and renamed, their keys field by field,
    and per item how far the motion moved beyond ``tolerance``."""
    old_path, new_path = _path("old", old), _path("new", new)
    tolerance = _real("tolerance", tolerance)
    if tolerance < 0:
        raise ValueError(f"tolerance must be 0 or more, not {tolerance}")
    recursive = _flag("recursive", recursive)
    library = _library(module)
    with _translated:
        text = library.diff(old_path, new_path, tolerance, recursive)
    result: "dict[str, _Any]" = _json.loads(text)
    return result


@_dataclass(frozen=True)
class ReportScene:
    """What the review page holds of one scene.

    Attributes: ``path``, ``blocks`` (its key blocks), ``plotted`` (those
    drawn), ``listed`` (those in a row), ``unlisted`` (those only counted,
    past the page's bounds), ``errors``, ``warnings``, ``error`` (why it
    could not be used whole; None when it could)."""

    path: str
    blocks: int
    plotted: int
    listed: int
    unlisted: int
    errors: int
    warnings: int
    error: _Optional[str]


@_dataclass(frozen=True)
class ReportResult:
    """The page ``report`` wrote.

    Attributes: ``page`` (its file), ``bytes`` (its size), ``items`` (on
    it), ``plotted`` (drawn), ``errors``, ``warnings`` (check's, over all
    scenes), ``scenes`` (each scene's ReportScene)."""

    page: str
    bytes: int
    items: int
    plotted: int
    errors: int
    warnings: int
    scenes: _Tuple[ReportScene, ...]


def report(*paths: _PathLike, page: _PathLike,
           title: str = "Shake review", recursive: bool = False, item: _Optional[str] = None,
           block: _Optional[int] = None, fps: _Optional[float] = None,
           frames: _Optional[_Tuple[int, int]] = None, plots: int = 200,
           module: _Optional[str] = None) -> ReportResult:
    """Writes the review page of scene files and folders to ``page``, as
    ``vrim report -o PAGE`` does, through vrim's safe writer (the file is
    replaced only once the page is whole). ``item``/``block`` pick one block
    of each scene, ``fps`` and ``frames`` (first, last) override the scenes'
    own, ``plots`` bounds the items drawn. A scene that cannot be read is on
    the page with why, and in its ``ReportScene.error``. Raises WriteError
    when the page may not be written there."""
    if not paths:
        raise TypeError("report needs at least one scene file or folder")
    names = [_path(f"paths[{i}]", p) for i, p in enumerate(paths)]
    target = _path("page", page)
    title = _text("title", title, "a title")
    recursive = _flag("recursive", recursive)
    picked = "" if item is None else _text("item", item, "an item name")
    number = 0 if block is None else _whole("block", block, 1, "a block number")
    rate = None if fps is None else _real("fps", fps, positive=True)
    span = None
    if frames is not None:
        if isinstance(frames, (str, bytes)) or not isinstance(frames, _Sequence) or \
                len(frames) != 2:
            raise TypeError(f"frames must be a pair (first, last), not {_type_name(frames)}")
        span = (_whole("frames[0]", frames[0]), _whole("frames[1]", frames[1]))
    plots = _whole("plots", plots, 0)
    library = _library(module)
    with _translated:
        done = library.report(names, target, title, recursive, picked, number, rate, span, plots)
    return ReportResult(done.page, done.bytes, done.items, done.plotted, done.errors,
                        done.warnings,
                        tuple(ReportScene(s.path, s.blocks, s.plotted, s.listed, s.unlisted,
                                          s.errors, s.warnings, s.error or None)
                              for s in done.scenes))


# ---------------------------------------------------------------------------
# Editing

# A key's fields as a Key reads them, and as the command's actions name
# them: an Action sets, and a Change reports, the names on the left; the
# command's names are taken too, so that older scripts keep working.
_FIELDS = (("start", "start"), ("end", "end"), ("period", "freq"), ("width_x", "width-x"),
           ("width_y", "width-y"), ("width_z", "width-z"), ("fall_off", "fall-off"))
_COMMAND_NAME = dict(_FIELDS)
_KEY_NAME = {command: key for key, command in _FIELDS}


def _field_name(name: object) -> str:
    """The command's name of a field given as a Key names it (or as the
    command does); ValueError naming field_name for any other."""
    given = _text("field_name", name, "a field name")
    if given in _COMMAND_NAME:
        return _COMMAND_NAME[given]
    if given in _KEY_NAME:
        return given
    names = [key for key, _ in _FIELDS]
    hint = " (a Key's width is three fields)" if given == "width" else \
        _did_you_mean(given, names)
    raise ValueError(f"field_name {given!r} is no field of a key{hint}; the fields are "
                     + ", ".join(names))


@_dataclass(frozen=True)
class Action:
    """One action of ``vrim edit``, played as clicks in the key editor. Make
    them with the class methods: ``Action.key(2)``, ``Action.set("end", 48)``,
    ``Action.add_key()``, ``Action.delete_key()``, ``Action.shift(12)``,
    ``Action.script("moves.txt")``.

    Attributes: ``option`` (the command's option, without dashes) and
    ``value`` (its argument, as text)."""

    option: str
    value: str = ""

    def __repr__(self) -> str:
        if self.option == "set":
            name, _, value = self.value.partition("=")
            return f"Action.set({_KEY_NAME.get(name, name)!r}, {value!r})"
        if self.option in ("add-key", "delete-key"):
            return f"Action.{self.option.replace('-', '_')}()"
        if self.option in ("key", "shift"):
            return f"Action.{self.option}({self.value})"
        return f"Action.{self.option}({self.value!r})"

    @classmethod
    def key(cls, number: int) -> "Action":
        """Step to key ``number``, from 1 (NEXT KEY / PREV KEY)."""
        return cls("key", str(_whole("number", number, 1, "a key number")))

    @classmethod
    def set(cls, field_name: str, value: _Union[int, float, str, bool]) -> "Action":
        """Type ``value`` into the current key's field, named as a Key
        reads it and as a Change reports it (start, end, period, width_x,
        width_y, width_z, fall_off); the command's names (freq, width-x,
        ..., fall-off) are taken too."""
        name = _field_name(field_name)
        if isinstance(value, bool):
            text = "on" if value else "off"
        elif isinstance(value, float):
            text = repr(_real("value", value))
        elif isinstance(value, (int, str)):
            text = str(value)
        else:
            raise TypeError(f"value must be a number, a str or a bool, not {_type_name(value)}")
        return cls("set", f"{name}={text}")

    @classmethod
    def add_key(cls) -> "Action":
        """Press ADD KEY; the new key becomes the current one."""
        return cls("add-key")

    @classmethod
    def delete_key(cls) -> "Action":
        """Press DELETE KEY on the current key."""
        return cls("delete-key")

    @classmethod
    def shift(cls, frames: int) -> "Action":
        """Move every key's start and end by ``frames``."""
        return cls("shift", str(_whole("frames", frames)))

    @classmethod
    def script(cls, path: _PathLike) -> "Action":
        """Play a panel script file."""
        return cls("script", _path("path", path))


@_dataclass(frozen=True)
class Change:
    """One change of an edit (or of a dry run, one it would make).

    Attributes: ``item`` (the block's address) and ``block`` (its number);
    ``kind`` ("field", "added-key", "deleted-key" or "key-count"); ``key``
    (the key's place among the keys saved, from 1) and ``was`` (its place
    among the file's keys), None for a key that is not there; ``field``
    (named as a Key reads it and ``Action.set`` takes it: ``start``,
    ``end``, ``period``, ``width_x``, ``width_y``, ``width_z``,
    ``fall_off``); ``old`` and ``new`` (the number as the file held it and
    as the module saved it, None where there is none); ``asked`` (False for
    what the module's save changed on its own, and for a value the file
    cannot hold as it was given: ``new`` is then what the file holds, even
    when that is ``old``)."""

    item: str
    block: int
    kind: str
    key: _Optional[int]
    was: _Optional[int]
    field: _Optional[str]
    old: _Optional[str]
    new: _Optional[str]
    asked: bool


def _change(data: _Any) -> Change:
    return Change(data.item, data.block, data.kind, data.key or None, data.was or None,
                  _KEY_NAME.get(data.field, data.field) or None, data.before, data.after,
                  data.asked)


@_dataclass(frozen=True)
class EditResult:
    """What an edit did.

    Attributes: ``scene``, ``edited`` and ``unchanged`` (blocks),
    ``written`` (the file was replaced), ``diff`` (a dry run's unified
    diff), ``notes`` (what ``vrim edit`` prints), ``unasked`` (each change
    the module's save made beyond the actions: scene, item, key, field, the
    old line and the new), ``changes`` (each as a Change)."""

    scene: str
    edited: int
    unchanged: int
    written: bool
    diff: str
    notes: _Tuple[str, ...] = _field(default_factory=tuple)
    unasked: _Tuple[str, ...] = _field(default_factory=tuple)
    changes: _Tuple[Change, ...] = _field(default_factory=tuple)


def _actions(actions: object, name: str = "actions") -> "list[Action]":
    if isinstance(actions, (str, bytes, Action)) or not isinstance(actions, _Iterable):
        raise TypeError(f"{name} must be a list of Action, not {_type_name(actions)}")
    picked = []
    for i, action in enumerate(actions):
        if isinstance(action, Action):
            picked.append(action)
        elif isinstance(action, tuple) and len(action) == 2 and \
                all(isinstance(a, str) for a in action):
            picked.append(Action(action[0].lstrip("-"), action[1]))
        else:
            raise TypeError(f"{name}[{i}] must be an Action, not {_type_name(action)}")
    if not picked:
        raise ValueError(f"{name} must hold at least one Action")
    return picked


def _per_item(name: str, given: object, each: _Any) -> "dict[str, _Any]":
    """A mapping of item names to what each item gets, checked."""
    if not isinstance(given, dict):
        raise TypeError(f"{name} must be a dict of item names, not {_type_name(given)}")
    return {_text(f"{name} key", item, "an item name"): each(f"{name}[{item!r}]", value)
            for item, value in given.items()}


def _key_values(name: str, key: object) -> "dict[str, _Any]":
    if not isinstance(key, Key):
        raise TypeError(f"{name} must be a Key, not {_type_name(key)}")
    width = key.width
    if isinstance(width, (str, bytes)) or not isinstance(width, _Sequence) or len(width) != 3:
        raise TypeError(f"{name}.width must be three numbers (x, y, z)")
    values: "dict[str, _Any]" = {
        "start": _whole(f"{name}.start", key.start, -2**31),
        "end": _whole(f"{name}.end", key.end, -2**31),
        "period": _real(f"{name}.period", key.period),
        "fall_off": _flag(f"{name}.fall_off", key.fall_off),
    }
    for axis, value in zip("xyz", width):
        values[f"width_{axis}"] = _real(f"{name}.width", value)
    if max(values["start"], values["end"]) > 2**31 - 1:
        raise ValueError(f"{name}: a frame must be a 32-bit number")
    return values


def _chain(name: str, keys: object) -> "list[dict[str, _Any]]":
    if isinstance(keys, (str, bytes, Key)) or not isinstance(keys, _Iterable):
        raise TypeError(f"{name} must be a list of Key, not {_type_name(keys)}")
    chain = [_key_values(f"{name}[{i}]", key) for i, key in enumerate(keys)]
    if not chain:
        raise ValueError(f"{name} must hold at least one Key: an item's only key cannot be "
                         "deleted")
    return chain


def _chain_actions(loaded: int, chain: "list[dict[str, _Any]]") -> "list[Action]":
    """The key editor's actions that turn a chain of loaded keys into
    chain: each key stepped to (or added), its fields typed, and the keys
    past the chain deleted."""
    played = []
    for number, values in enumerate(chain, 1):
        played.append(Action.key(number) if number <= loaded else Action.add_key())
        # The start typed again after the end: an editor that keeps a key's
        # start before its end then holds both as asked.
        for field in ("start", "end", "start", "period", "width_x", "width_y", "width_z",
                      "fall_off"):
            played.append(Action.set(field, values[field]))
    for _ in range(loaded - len(chain)):
        played += [Action.key(len(chain) + 1), Action.delete_key()]
    return played


def _edit_targets(item: object, items: object, block: object,
                  blocks: object) -> "tuple[list[str], list[int]]":
    """The items an edit picks by name and the blocks by number, checked."""
    names = _names("items", items)
    if item is not None:
        if not isinstance(item, str):
            raise TypeError(f"item must be an item name (str), not {_type_name(item)}; "
                            "give several as items=[...]")
        names.append(item)
    if isinstance(blocks, (str, bytes)) or not isinstance(blocks, _Iterable):
        raise TypeError(f"blocks must be a list of block numbers, not {_type_name(blocks)}")
    numbers = [_whole(f"blocks[{i}]", b, 1, "a block number") for i, b in enumerate(blocks)]
    if block is not None:
        numbers.append(_whole("block", block, 1, "a block number"))
    return names, numbers


def _edit_plays(library: _Any, target: str, names: "list[str]", numbers: "list[int]",
                actions: object, keys: object) -> "tuple[list[Action], dict[str, list[Action]]]":
    """The actions every picked item gets, and each item's own (from a dict
    of actions, or typed from whole chains of keys). A single item's chain
    takes its name out of ``names``: its actions are its own."""
    if keys is None:
        if isinstance(actions, dict):
            return [], _per_item("actions", actions,
                                 lambda label, value: _actions(value, label))
        return _actions(actions), {}
    if actions:
        raise TypeError("give actions or keys, not both")
    if isinstance(keys, dict):
        chains = _per_item("keys", keys, _chain)
    elif len(names) == 1 and not numbers:
        chains = {names.pop(): _chain("keys", keys)}
    else:
        raise TypeError("keys as a list needs one item=; give several items' keys as a "
                        "dict of item names")
    counts = _key_counts(library, target, chains)
    return [], {name: _chain_actions(counts[name], chain) for name, chain in chains.items()}


def edit(path: _PathLike, item: _Optional[str] = None, *,
         items: _Sequence[str] = (), block: _Optional[int] = None, blocks: _Sequence[int] = (),
         all_items: bool = False,
         actions: _Union[_Sequence[_Union[Action, _Tuple[str, str]]],
                         "dict[str, _Sequence[Action]]"] = (),
         keys: _Optional[_Union[_Sequence[Key], "dict[str, _Sequence[Key]]"]] = None,
         dry_run: bool = False, backup: bool = False, overwrite_backup: bool = False,
         strict: bool = False, force: bool = False, break_hard_links: bool = False,
         module: _Optional[str] = None) -> EditResult:
    """Plays ``actions`` on the key editor of each picked item of one scene
    (``item``/``items`` by name, ``block``/``blocks`` by number, or
    ``all_items``) and writes the scene through vrim's safe writer, as
    ``vrim edit`` does.

    ``actions`` may also be a dict of item names to each item's own list:
    every item gets its own actions in one pass over the file. ``keys``
    writes whole chains instead: a list of Key for ``item``, or a dict of
    item names to lists of Key; each chain is typed into the key editor
    (keys stepped to, added, deleted) like any other action. A value the
    file cannot hold as given is in ``changes`` with ``asked=False`` and the
    value the file holds.

    ``dry_run``: nothing is written, the result holds the diff. ``backup``:
    the old file is kept as SCENE.bak, refused when one exists unless
    ``overwrite_backup`` (which does nothing without ``backup``).
    ``strict``: refused when the module's save would change what was not
    asked for (``unasked`` lists it either way). ``force``: a read-only
    scene, or one whose owners cannot be kept, is replaced.
    ``break_hard_links``: a scene with other names is replaced; they keep
    the old text.

    Raises EditRefused (the file is then as it was), ItemError for an
    unknown item, UsageError for an action it cannot take, TypeError or
    ValueError for an argument of the wrong kind."""
    target = _path("path", path)
    names, numbers = _edit_targets(item, items, block, blocks)
    given = {
        "items": names, "blocks": numbers, "all_items": _flag("all_items", all_items),
        "dry_run": _flag("dry_run", dry_run), "backup": _flag("backup", backup),
        "overwrite_backup": _flag("overwrite_backup", overwrite_backup),
        "strict": _flag("strict", strict), "force": _flag("force", force),
        "break_hard_links": _flag("break_hard_links", break_hard_links),
    }
    library = _library(module)
    common, own = _edit_plays(library, target, names, numbers, actions, keys)
    given["item_actions"] = [(name, [(a.option, a.value) for a in played])
                             for name, played in own.items()]
    try:
        with _Translated(_Played(common, own)):
            result = library.edit(target, given, [(a.option, a.value) for a in common])
    except ItemError as missing:
        raise _with_suggestion(missing, library, target) from None
    if result.written:
        _edited(target)
    return EditResult(target, result.edited, result.unchanged, result.written, result.diff,
                      tuple(_in_python_terms(n) for n in result.notes),
                      tuple(_in_python_terms(u) for u in result.unasked),
                      tuple(_change(c) for c in result.changes))


class _Played(list):  # type: ignore[type-arg]
    """The actions an edit's refusal may point at: the common list's, or
    (when an item has its own) that item's."""

    def __init__(self, common: "list[Action]", own: "dict[str, list[Action]]") -> None:
        super().__init__(common)
        self.own = own


def _key_counts(library: _Any, path: str, chains: "dict[str, _Any]") -> "dict[str, int]":
    """How many keys each item of chains has before its chain is written."""
    with _translated:
        scene = Scene(library, library.open(path), None, _edit_count(path))
    return {name: len(scene.item(name).keys) for name in chains}


def _with_suggestion(missing: ItemError, library: _Any, path: str) -> ItemError:
    if not missing.item or missing.item.startswith("block "):
        return missing
    try:
        with _translated:
            scene = Scene(library, library.open(path), None, _edit_count(path))
    except Error:
        return missing
    hint = _did_you_mean(missing.item, scene._all_names())
    if not hint:
        return missing
    return ItemError(f"{missing}{hint}", missing.scene, missing.item, missing.action,
                     missing.unasked)
