import enum
import os
from dataclasses import dataclass
from typing import Any, Iterable, Iterator, List, Mapping, Optional, Sequence, Tuple, Union

import numpy
import numpy.typing

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

__version__: str

_Row = Tuple[float, float, float, float, float]
_PathLike = Union[str, os.PathLike[str]]

class Error(Exception):
    scene: Optional[str]
    item: Optional[str]
    action: Optional[str]
    unasked: Tuple[str, ...]
    def __init__(
        self,
        message: str,
        scene: Optional[str] = ...,
        item: Optional[str] = ...,
        action: Optional[str] = ...,
        unasked: Tuple[str, ...] = ...,
    ) -> None: ...

class ModuleError(Error): ...
class SceneError(Error): ...
class StaleSceneError(SceneError): ...
class ItemError(Error, LookupError): ...
class EditRefused(Error): ...
class UsageError(Error, ValueError): ...
class WriteError(Error, OSError): ...

def module_path() -> str: ...

@dataclass(frozen=True)
class Validation:
    module: str
    lines: Tuple[str, ...]
    failed: int
    @property
    def passed(self) -> bool: ...

def validate(module: Optional[str] = ..., seed: int = ...) -> Validation: ...

@dataclass(frozen=True)
class Key:
    start: int
    end: int
    period: float
    width: Tuple[float, float, float]
    fall_off: bool

class Severity(str, enum.Enum):
    NOTE = "note"
    WARNING = "warning"
    ERROR = "error"
    def __new__(cls, value: object) -> Severity: ...
    @property
    def rank(self) -> int: ...
    def __lt__(self, other: object) -> bool: ...

@dataclass(frozen=True)
class Finding:
    severity: Severity
    kind: str
    line: Optional[int]
    key: Optional[int]
    message: str
    scene: str
    item: Optional[str] = ...
    block: Optional[int] = ...
    def __lt__(self, other: Finding) -> bool: ...

class Item:
    @property
    def scene(self) -> Scene: ...
    @property
    def name(self) -> str: ...
    @property
    def block(self) -> int: ...
    @property
    def kind(self) -> Optional[str]: ...
    @property
    def first_line(self) -> int: ...
    @property
    def last_line(self) -> int: ...
    @property
    def key_count(self) -> int: ...
    @property
    def errors(self) -> int: ...
    @property
    def warnings(self) -> int: ...
    def __init__(self, scene: Scene, data: Any) -> None: ...
    @property
    def findings(self) -> Tuple[Finding, ...]: ...
    @property
    def keys(self) -> Tuple[Key, ...]: ...
    def offsets(
        self,
        frames: Optional[Iterable[float]] = ...,
        *,
        times: Optional[Iterable[float]] = ...,
        fps: Optional[float] = ...,
    ) -> List[_Row]: ...
    def offsets_array(
        self,
        frames: Optional[Union[Iterable[float], numpy.typing.ArrayLike]] = ...,
        *,
        times: Optional[Union[Iterable[float], numpy.typing.ArrayLike]] = ...,
        fps: Optional[float] = ...,
    ) -> numpy.typing.NDArray[numpy.float64]: ...
    def bake(
        self, base: Iterable[Sequence[float]], *, fps: Optional[float] = ...
    ) -> List[_Row]: ...

class Scene:
    @property
    def path(self) -> str: ...
    @property
    def fps(self) -> float: ...
    @property
    def first_frame(self) -> Optional[int]: ...
    @property
    def last_frame(self) -> Optional[int]: ...
    @property
    def frame_step(self) -> float: ...
    @property
    def items(self) -> Sequence[Item]: ...
    @property
    def findings(self) -> Tuple[Finding, ...]: ...
    @property
    def errors(self) -> int: ...
    @property
    def warnings(self) -> int: ...
    def __init__(self, library: Any, data: Any, module: Optional[str], edits: int) -> None: ...
    def __iter__(self) -> Iterator[Item]: ...
    def __len__(self) -> int: ...
    def reload(self) -> Scene: ...
    def item(self, name: str) -> Item: ...
    def block(self, number: int) -> Item: ...

def open(path: _PathLike, *, module: Optional[str] = ...) -> Scene: ...
def iter_items(path: _PathLike, *, module: Optional[str] = ...) -> Iterator[Item]: ...

@dataclass(frozen=True)
class CheckedFile:
    path: str
    blocks: int
    keys: int
    errors: int
    warnings: int
    no_shake: bool
    error: Optional[str]

@dataclass(frozen=True)
class CheckResult:
    files: Tuple[CheckedFile, ...]
    findings: Tuple[Finding, ...]
    blocks: int
    keys: int
    errors: int
    warnings: int
    status: int
    @property
    def passed(self) -> bool: ...
    def __iter__(self) -> Iterator[Finding]: ...
    def __len__(self) -> int: ...

def check(*paths: _PathLike, recursive: bool = ..., module: Optional[str] = ...) -> CheckResult: ...
def diff(old: _PathLike, new: _PathLike, *, tolerance: float = ..., recursive: bool = ...,
         module: Optional[str] = ...) -> dict[str, Any]: ...

@dataclass(frozen=True)
class ReportScene:
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
    page: str
    bytes: int
    items: int
    plotted: int
    errors: int
    warnings: int
    scenes: Tuple[ReportScene, ...]

def report(
    *paths: _PathLike,
    page: _PathLike,
    title: str = ...,
    recursive: bool = ...,
    item: Optional[str] = ...,
    block: Optional[int] = ...,
    fps: Optional[float] = ...,
    frames: Optional[Tuple[int, int]] = ...,
    plots: int = ...,
    module: Optional[str] = ...,
) -> ReportResult: ...

@dataclass(frozen=True)
class Action:
    option: str
    value: str = ...
    @classmethod
    def key(cls, number: int) -> Action: ...
    @classmethod
    def set(cls, field_name: str, value: Union[int, float, str, bool]) -> Action: ...
    @classmethod
    def add_key(cls) -> Action: ...
    @classmethod
    def delete_key(cls) -> Action: ...
    @classmethod
    def shift(cls, frames: int) -> Action: ...
    @classmethod
    def script(cls, path: _PathLike) -> Action: ...

@dataclass(frozen=True)
class Change:
    item: str
    block: int
    kind: str
    key: Optional[int]
    was: Optional[int]
    field: Optional[str]
    old: Optional[str]
    new: Optional[str]
    asked: bool

@dataclass(frozen=True)
class EditResult:
    scene: str
    edited: int
    unchanged: int
    written: bool
    diff: str
    notes: Tuple[str, ...] = ...
    unasked: Tuple[str, ...] = ...
    changes: Tuple[Change, ...] = ...

def edit(
    path: _PathLike,
    item: Optional[str] = ...,
    *,
    items: Sequence[str] = ...,
    block: Optional[int] = ...,
    blocks: Sequence[int] = ...,
    all_items: bool = ...,
    actions: Union[Sequence[Union[Action, Tuple[str, str]]], Mapping[str, Sequence[Action]]] = ...,
    keys: Optional[Union[Sequence[Key], Mapping[str, Sequence[Key]]]] = ...,
    dry_run: bool = ...,
    backup: bool = ...,
    overwrite_backup: bool = ...,
    strict: bool = ...,
    force: bool = ...,
    break_hard_links: bool = ...,
    module: Optional[str] = ...,
) -> EditResult: ...
