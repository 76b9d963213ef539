import os
from typing import Any, Iterable, Iterator, List, Optional, Sequence, Tuple, Union

__version__: str

Row = Tuple[float, float, float, float, float]
_Path = Union[str, os.PathLike[str]]

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
class ItemError(Error, LookupError): ...
class EditRefused(Error): ...
class UsageError(Error, ValueError): ...
class WriteError(Error, OSError): ...

def module_path() -> str: ...

class Validation:
    module: str
    lines: Tuple[str, ...]
    failed: int
    def __init__(self, module: str, lines: Tuple[str, ...], failed: int) -> None: ...
    @property
    def passed(self) -> bool: ...

def validate(module: Optional[str] = ..., seed: int = ...) -> Validation: ...

class Key:
    start: int
    end: int
    period: float
    width: Tuple[float, float, float]
    fall_off: bool
    def __init__(
        self, start: int, end: int, period: float, width: Tuple[float, float, float], fall_off: bool
    ) -> None: ...

class Finding:
    severity: str
    kind: str
    line: int
    key: int
    message: str
    scene: str
    item: Optional[str]
    block: Optional[int]
    def __init__(
        self,
        severity: str,
        kind: str,
        line: int,
        key: int,
        message: str,
        scene: str,
        item: Optional[str] = ...,
        block: Optional[int] = ...,
    ) -> None: ...

class Item:
    name: str
    block: int
    kind: Optional[str]
    first_line: int
    last_line: int
    key_count: int
    errors: int
    warnings: int
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
    ) -> List[Row]: ...
    def offsets_array(
        self, frames: Optional[Any] = ..., *, times: Optional[Any] = ..., fps: Optional[float] = ...
    ) -> Any: ...
    def bake(self, base: Iterable[Sequence[float]], *, fps: Optional[float] = ...) -> List[Row]: ...

class Scene:
    path: str
    fps: float
    first_frame: Optional[int]
    last_frame: Optional[int]
    items: Tuple[Item, ...]
    findings: Tuple[Finding, ...]
    errors: int
    warnings: int
    def __iter__(self) -> Iterator[Item]: ...
    def __len__(self) -> int: ...
    def item(self, name: str) -> Item: ...
    def block(self, number: int) -> Item: ...

def open(path: _Path, *, module: Optional[str] = ...) -> Scene: ...
def check(*paths: _Path, recursive: bool = ..., module: Optional[str] = ...) -> List[Finding]: ...

class ReportScene:
    path: str
    blocks: int
    plotted: int
    listed: int
    unlisted: int
    errors: int
    warnings: int
    error: Optional[str]

class ReportResult:
    page: str
    bytes: int
    items: int
    plotted: int
    errors: int
    warnings: int
    scenes: Tuple[ReportScene, ...]

def report(
    *paths: _Path,
    page: _Path,
    title: str = ...,
    recursive: bool = ...,
    item: Optional[str] = ...,
    block: Optional[int] = ...,
    fps: Optional[float] = ...,
    frames: Optional[Tuple[int, int]] = ...,
    plots: int = ...,
    module: Optional[str] = ...,
) -> ReportResult: ...

class Action:
    option: str
    value: str
    def __init__(self, option: str, value: str = ...) -> None: ...
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
    def script(cls, path: _Path) -> Action: ...

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

class EditResult:
    scene: str
    edited: int
    unchanged: int
    written: bool
    diff: str
    notes: Tuple[str, ...]
    unasked: Tuple[str, ...]
    changes: Tuple[Change, ...]

def edit(
    path: _Path,
    item: Optional[str] = ...,
    *,
    items: Sequence[str] = ...,
    block: Optional[int] = ...,
    blocks: Sequence[int] = ...,
    all_items: bool = ...,
    actions: Sequence[Union[Action, Tuple[str, str]]] = ...,
    dry_run: bool = ...,
    backup: bool = ...,
    overwrite_backup: bool = ...,
    strict: bool = ...,
    module: Optional[str] = ...,
) -> EditResult: ...
