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

Threads: the module runs in one stand-in host per process, so calls into it
are taken one at a time (the interpreter lock is released while the module
works, so other Python threads run meanwhile). Scene, Item, Key and Finding
objects are read-only and may be shared between threads freely.
"""

from __future__ import annotations

import array
import os
import threading
from dataclasses import dataclass, field
from typing import Any, Iterable, Iterator, Optional, Sequence, Tuple, Union

from . import _vrim
from ._where import BUILD_MODULE

__all__ = [
    "Action",
    "Change",
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
    "UsageError",
    "WriteError",
    "Validation",
    "check",
    "edit",
    "module_path",
    "report",
    "open",
    "validate",
]

__version__ = "1.0.0"

Row = Tuple[float, float, float, float, float]


# ---------------------------------------------------------------------------
# Errors


class Error(Exception):
    """Every refusal of vrim: the message, and the scene, item and action it
    concerns (each None when it does not apply)."""

    def __init__(
        self,
        message: str,
        scene: Optional[str] = None,
        item: Optional[str] = None,
        action: Optional[str] = None,
        unasked: Tuple[str, ...] = (),
    ) -> None:
        super().__init__(message)
        self.scene = scene
        self.item = item
        self.action = action
        #: A strict edit's refusal: each change the module's save would have
        #: made beyond the actions, one line each.
        self.unasked = unasked


class ModuleError(Error):
    """The module file is missing or is not a shake module."""


class SceneError(Error):
    """A scene cannot be read, or changed on disk since it was opened."""


class ItemError(Error, LookupError):
    """No item (or block) of that name or number has a shake; the message
    lists the items that have one."""


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
    "item": ItemError,
    "edit": EditRefused,
    "usage": UsageError,
    "write": WriteError,
}


def _raise(failure: _vrim.Failure) -> "Error":
    message, kind, scene, item, action, unasked = failure.args[0]
    return _KINDS.get(kind, Error)(message, scene or None, item or None, action or None,
                                   tuple(unasked))


class _Translated:
    """Turns the compiled side's failures into the package's exceptions."""

    def __enter__(self) -> None:
        return None

    def __exit__(self, kind: Any, value: Any, trace: Any) -> None:
        if isinstance(value, _vrim.Failure):
            raise _raise(value) from None


_translated = _Translated()


# ---------------------------------------------------------------------------
# The module file


def module_path() -> str:
    """The module file vrim uses when none is given, found as
    ``vrim --version`` finds it: the file ``VRIM_MODULE`` names; else the
    module an install put beside this package (``<prefix>/lib/vrim/vrim_s.p``);
    else the build's own. When none exists, the first place looked in."""
    named = os.environ.get("VRIM_MODULE")
    if named:
        return named
    here = os.path.dirname(os.path.abspath(__file__))
    installed = os.path.normpath(os.path.join(here, "..", "..", "..", "vrim", "vrim_s.p"))
    for candidate in (installed, BUILD_MODULE):
        if candidate and os.path.isfile(candidate):
            return candidate
    return installed


_libraries: dict = {}
_libraries_lock = threading.Lock()


def _library(module: Optional[str]) -> Any:
    path = module or module_path()
    with _libraries_lock:
        library = _libraries.get(path)
        if library is None:
            with _translated:
                library = _vrim.Library(path)
            _libraries[path] = library
        return library


@dataclass(frozen=True)
class Validation:
    """What the validator judged of a module file: one line per check and the
    number of failed checks."""

    module: str
    lines: Tuple[str, ...]
    failed: int

    @property
    def passed(self) -> bool:
        """True when every check passed."""
        return self.failed == 0


def validate(module: Optional[str] = None, seed: int = 0) -> Validation:
    """Runs ``vrim validate`` on a module file (the default one without a
    path). Raises ModuleError when the file is not a shake module."""
    path = module or module_path()
    with _translated:
        lines, failed = _vrim.validate(path, seed)
    return Validation(path, tuple(lines), failed)


# ---------------------------------------------------------------------------
# Scenes


@dataclass(frozen=True)
class Key:
    """One shake key as the module loaded it: frames ``start`` to ``end``, a
    period in seconds, the amplitude on X, Y and Z, and whether it fades out."""

    start: int
    end: int
    period: float
    width: Tuple[float, float, float]
    fall_off: bool


@dataclass(frozen=True)
class Finding:
    """One finding of ``vrim check``: severity ("note", "warning", "error"),
    its kind, the line of the scene file (0: none), the key (0: none), the
    text, and the scene, item and block it belongs to."""

    severity: str
    kind: str
    line: int
    key: int
    message: str
    scene: str
    item: Optional[str] = None
    block: Optional[int] = None


def _finding(data: Any, scene: str, item: Optional[str], block: Optional[int]) -> Finding:
    return Finding(data.severity, data.kind, data.line, data.key, data.message, scene, item, block)


class Item:
    """One key block of a scene: ``name`` and ``block`` are what every
    command takes with ``--item`` and ``--block``."""

    # No per-item dictionary: a scene of tens of thousands of items stays
    # within the commands' memory bound.
    __slots__ = ("_scene", "_data", "name", "block", "kind", "first_line", "last_line",
                 "key_count", "errors", "warnings", "_keys", "_findings")

    def __init__(self, scene: "Scene", data: Any) -> None:
        self._scene = scene
        self._data = data
        self.name: str = data.name
        self.block: int = data.block
        self.kind: Optional[str] = data.kind or None
        self.first_line: int = data.first_line
        self.last_line: int = data.last_line
        self.key_count: int = data.key_count
        self.errors: int = data.errors
        self.warnings: int = data.warnings
        self._keys: Optional[Tuple[Key, ...]] = None
        self._findings: Optional[Tuple[Finding, ...]] = None

    def __repr__(self) -> str:
        return f"<vrim.Item {self.name!r} block {self.block}, {self.key_count} keys>"

    @property
    def findings(self) -> Tuple[Finding, ...]:
        """Check's findings of this item, in line order (the block is
        checked again on first use; ``errors`` and ``warnings`` count them
        without that)."""
        if self._findings is None:
            with _translated:
                found = self._scene._library.findings(self._scene._data, self._data)
            self._findings = tuple(_finding(f, self._scene.path, self.name, self.block)
                                   for f in found)
        return self._findings

    @property
    def keys(self) -> Tuple[Key, ...]:
        """The keys as the module loaded them (read from the file on first use)."""
        if self._keys is None:
            with _translated:
                loaded = self._scene._library.keys(self._scene._data, self._data)
            self._keys = tuple(
                Key(k.start, k.end, k.period, tuple(k.width), k.fall_off) for k in loaded
            )
        return self._keys

    def _frames(self, frames: Optional[Iterable[float]], times: Optional[Iterable[float]],
                fps: float) -> "array.array[float]":
        if frames is not None and times is not None:
            raise UsageError("give frames or times, not both", self._scene.path, self.name)
        if times is not None:
            return array.array("d", (t * fps for t in times))
        if frames is None:
            with _translated:
                return array.array("d", self._scene._library.default_frames(
                    self._scene._data, self._data))
        try:
            return array.array("d", frames)  # type: ignore[arg-type]
        except TypeError:
            return array.array("d", (float(f) for f in frames))

    def _evaluate(self, frames: "array.array[float]", fps: float,
                  rest: Optional[Any] = None) -> "array.array[float]":
        out = array.array("d", bytes(8 * 5 * len(frames)))
        with _translated:
            self._scene._library.evaluate_into(self._scene._data, self._data, frames, fps, rest,
                                               out)
        return out

    def offsets(self, frames: Optional[Iterable[float]] = None, *,
                times: Optional[Iterable[float]] = None,
                fps: Optional[float] = None) -> list:
        """The item's offsets from the module, as rows (frame, time, x, y, z).

        ``frames`` may be fractional; ``times`` are seconds instead. Without
        either: every frame of the scene's range, else of the item's keys.
        ``fps`` defaults to the scene's rate."""
        rate = self._scene.fps if fps is None else float(fps)
        picked = self._frames(frames, times, rate)
        out = self._evaluate(picked, rate)
        return [tuple(out[i:i + 5]) for i in range(0, len(out), 5)]

    def offsets_array(self, frames: Optional[Any] = None, *,
                      times: Optional[Any] = None, fps: Optional[float] = None) -> Any:
        """The same rows as a NumPy array of shape (n, 5), written by the
        module straight into the array (needs NumPy)."""
        import numpy

        rate = self._scene.fps if fps is None else float(fps)
        if frames is not None and times is None:
            picked = numpy.ascontiguousarray(frames, dtype=numpy.float64).reshape(-1)
        else:
            picked = numpy.frombuffer(self._frames(frames, times, rate), dtype=numpy.float64)
        out = numpy.empty((picked.shape[0], 5), dtype=numpy.float64)
        with _translated:
            self._scene._library.evaluate_into(self._scene._data, self._data, picked, rate,
                                               None, out)
        return out

    def bake(self, base: Iterable[Sequence[float]], *, fps: Optional[float] = None) -> list:
        """The shake on top of the item's own track, as ``vrim bake --base``:
        ``base`` holds rows (frame, x, y, z); the result rows
        (frame, time, x, y, z) are the shaken positions."""
        rate = self._scene.fps if fps is None else float(fps)
        frames = array.array("d")
        rest = array.array("d")
        for row in base:
            if len(row) != 4:
                raise UsageError("a base row is (frame, x, y, z)", self._scene.path, self.name)
            frames.append(float(row[0]))
            rest.extend(float(v) for v in row[1:])
        out = self._evaluate(frames, rate, rest)
        return [tuple(out[i:i + 5]) for i in range(0, len(out), 5)]


class Scene:
    """A scene file as ``vrim open`` read it: its rate, frame range, the
    items with a shake (``items``) and check's findings about the scene as a
    whole (``findings``; each item holds its own). Only the place of each
    block is kept; keys and findings are read from the file when asked for,
    so a scene of any size costs a few hundred bytes an item."""

    def __init__(self, library: Any, data: Any) -> None:
        self._library = library
        self._data = data
        self.path: str = data.path
        self.fps: float = data.fps
        self.first_frame: Optional[int] = data.first_frame
        self.last_frame: Optional[int] = data.last_frame
        self.items: Tuple[Item, ...] = tuple(Item(self, d) for d in data.items)
        self.findings: Tuple[Finding, ...] = tuple(
            _finding(f, data.path, None, None) for f in data.findings
        )
        self.errors: int = data.errors
        self.warnings: int = data.warnings

    def __repr__(self) -> str:
        return f"<vrim.Scene {self.path!r}: {len(self.items)} items with a shake>"

    def __iter__(self) -> Iterator[Item]:
        return iter(self.items)

    def __len__(self) -> int:
        return len(self.items)

    def _names(self) -> str:
        names = [i.name for i in self.items]
        if not names:
            return "none"
        shown = ", ".join(names[:12])
        return shown + (f" and {len(names) - 12} more" if len(names) > 12 else "")

    def item(self, name: str) -> Item:
        """The item of that name (as ``--item`` takes it). Raises ItemError,
        listing the items with a shake, when there is none."""
        for candidate in self.items:
            if candidate.name == name:
                return candidate
        raise ItemError(f"'{self.path}': no item {name!r} with a shake; items with a shake: "
                        f"{self._names()}", self.path, name)

    def block(self, number: int) -> Item:
        """The key block of that number (as ``--block`` takes it)."""
        for candidate in self.items:
            if candidate.block == number:
                return candidate
        raise ItemError(f"'{self.path}': no block {number}; it has {len(self.items)}",
                        self.path, f"block {number}")


def open(path: Union[str, "os.PathLike[str]"], *, module: Optional[str] = None) -> Scene:
    """Reads a scene file through, checking each key block as ``vrim check``
    does. Raises SceneError when it is no scene file or cannot be read."""
    library = _library(module)
    with _translated:
        data = library.open(os.fspath(path))
    return Scene(library, data)


def check(*paths: Union[str, "os.PathLike[str]"], recursive: bool = False,
          module: Optional[str] = None) -> list:
    """Every finding of ``vrim check`` over scene files and folders (``-r``
    with ``recursive``), as Finding objects in the order check prints them."""
    if not paths:
        raise UsageError("give at least one scene file or folder")
    library = _library(module)
    with _translated:
        found = library.check([os.fspath(p) for p in paths], recursive)
    return [_finding(f.finding, f.scene, f.item or None, f.block or None) for f in found]


@dataclass(frozen=True)
class ReportScene:
    """What the review page holds of one scene: its key blocks, those drawn,
    those listed in a row and those only counted (past the page's bounds),
    check's errors and warnings, and why it could not be used whole (None
    when it could)."""

    path: str
    blocks: int
    plotted: int
    listed: int
    unlisted: int
    errors: int
    warnings: int
    error: Optional[str]


@dataclass(frozen=True)
class ReportResult:
    """The page ``report`` wrote: its file and size, the items on it and
    those drawn, check's errors and warnings over all scenes, and each
    scene's part."""

    page: str
    bytes: int
    items: int
    plotted: int
    errors: int
    warnings: int
    scenes: Tuple[ReportScene, ...]


def report(*paths: Union[str, "os.PathLike[str]"], page: Union[str, "os.PathLike[str]"],
           title: str = "Shake review", recursive: bool = False, item: Optional[str] = None,
           block: Optional[int] = None, fps: Optional[float] = None,
           frames: Optional[Tuple[int, int]] = None, plots: int = 200,
           module: Optional[str] = None) -> ReportResult:
    """Writes the review page of scene files and folders to ``page``, as
    ``vrim report -o PAGE`` does, through vrim's safe writer (the file is
    replaced only once the page is whole). ``item``/``block`` pick one block
    of each scene, ``fps`` and ``frames`` (first, last) override the scenes'
    own, ``plots`` bounds the items drawn. A scene that cannot be read is on
    the page with why, and in its ``ReportScene.error``. Raises WriteError
    when the page may not be written there."""
    if not paths:
        raise UsageError("give at least one scene file or folder")
    library = _library(module)
    with _translated:
        done = library.report([os.fspath(p) for p in paths], os.fspath(page), title, recursive,
                              item or "", int(block or 0), fps,
                              None if frames is None else (int(frames[0]), int(frames[1])),
                              int(plots))
    return ReportResult(done.page, done.bytes, done.items, done.plotted, done.errors,
                        done.warnings,
                        tuple(ReportScene(s.path, s.blocks, s.plotted, s.listed, s.unlisted,
                                          s.errors, s.warnings, s.error or None)
                              for s in done.scenes))


# ---------------------------------------------------------------------------
# Editing


@dataclass(frozen=True)
class Action:
    """One action of ``vrim edit``, played as clicks in the key editor. Make
    them with the class methods: ``Action.key(2)``, ``Action.set("end", 48)``,
    ``Action.add_key()``, ``Action.delete_key()``, ``Action.shift(12)``,
    ``Action.script("moves.txt")``."""

    option: str
    value: str = ""

    @classmethod
    def key(cls, number: int) -> "Action":
        """Step to key ``number`` (NEXT KEY / PREV KEY)."""
        return cls("key", str(number))

    @classmethod
    def set(cls, field_name: str, value: Union[int, float, str, bool]) -> "Action":
        """Type ``value`` into the current key's field: start, end, freq,
        width-x, width-y, width-z, fall-off (True/False or on/off)."""
        if isinstance(value, bool):
            text = "on" if value else "off"
        elif isinstance(value, float):
            text = repr(value)
        else:
            text = str(value)
        return cls("set", f"{field_name}={text}")

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
        return cls("shift", str(frames))

    @classmethod
    def script(cls, path: Union[str, "os.PathLike[str]"]) -> "Action":
        """Play a panel script file."""
        return cls("script", os.fspath(path))


@dataclass(frozen=True)
class Change:
    """One change of an edit (or of a dry run, one it would make) to the
    block ``item`` (its address) number ``block``. ``kind`` is "field" (the
    ``field`` of a key, named as ``Action.set`` takes it), "added-key",
    "deleted-key" or "key-count". ``key`` is the key's place among the keys
    saved and ``was`` its place among the file's keys, from 1 (None for a key
    that is not there). ``old`` and ``new`` are the number as the file held
    it and as the module saved it (None where there is none); ``asked`` is
    False for what the module's save changed on its own."""

    item: str
    block: int
    kind: str
    key: Optional[int]
    was: Optional[int]
    field: Optional[str]
    old: Optional[str]
    new: Optional[str]
    asked: bool


def _change(data: Any) -> Change:
    return Change(data.item, data.block, data.kind, data.key or None, data.was or None,
                  data.field or None, data.before, data.after, data.asked)


@dataclass(frozen=True)
class EditResult:
    """What an edit did: blocks edited and left alone, whether the file was
    written, the unified diff of a dry run, the notes ``vrim edit`` prints,
    and each change as a ``Change``."""

    scene: str
    edited: int
    unchanged: int
    written: bool
    diff: str
    notes: Tuple[str, ...] = field(default_factory=tuple)
    #: Each change the module's save made beyond the actions (a value the
    #: file held otherwise than the module writes it): scene, item, key,
    #: field, the old line and the new, as ``vrim edit`` lists them.
    unasked: Tuple[str, ...] = field(default_factory=tuple)
    changes: Tuple[Change, ...] = field(default_factory=tuple)


def edit(path: Union[str, "os.PathLike[str]"], item: Optional[str] = None, *,
         items: Sequence[str] = (), block: Optional[int] = None, blocks: Sequence[int] = (),
         all_items: bool = False, actions: Sequence[Union[Action, Tuple[str, str]]] = (),
         dry_run: bool = False, backup: bool = False, overwrite_backup: bool = False,
         strict: bool = False, module: Optional[str] = None) -> EditResult:
    """Plays ``actions`` on the key editor of each picked item of one scene
    (``item``/``items`` by name, ``block``/``blocks`` by number, or
    ``all_items``) and writes the scene through vrim's safe writer, as
    ``vrim edit`` does. With ``dry_run`` nothing is written and the result
    holds the diff. ``unasked`` lists what the module's save changed beyond
    the actions; with ``strict`` such an edit is refused instead (EditRefused,
    whose ``unasked`` lists them). Raises EditRefused (the file is then as it
    was), ItemError for an unknown item, UsageError for an action it cannot
    take."""
    names = list(items) + ([item] if item is not None else [])
    numbers = [int(b) for b in blocks] + ([int(block)] if block is not None else [])
    pairs = []
    for action in actions:
        if isinstance(action, Action):
            pairs.append((action.option, action.value))
        else:
            option, value = action
            pairs.append((str(option).lstrip("-"), str(value)))
    if not pairs:
        raise UsageError("give at least one action", os.fspath(path))
    library = _library(module)
    with _translated:
        result = library.edit(os.fspath(path), names, numbers, all_items, pairs, dry_run,
                              backup, overwrite_backup, strict)
    return EditResult(os.fspath(path), result.edited, result.unchanged, result.written,
                      result.diff, tuple(result.notes), tuple(result.unasked),
                      tuple(_change(c) for c in result.changes))
