"""What a check finds, as typed, frozen records.

The attribute names are the result schema's (docs/result.schema.json), the
names of the C record, `replaytool check --json` and the npm package alike,
so `to_dict()` gives back exactly the object `runaudit_result_json` printed.
The records are built from that JSON rather than from the C struct: the
library already turns its numbers into the schema's names, texts and nulls
(the rejection's name, the "why" sentence, the header's texts as UTF-8), and
a fact that a later 2.x library adds reaches Python with no second mapping.
"""

from __future__ import annotations

import dataclasses
from dataclasses import dataclass, field
from typing import Any, Literal, Optional, Type, TypeVar

Verdict = Literal["valid", "invalid", "error"]
Rejection = Literal["open-failed", "too-short", "bad-signature", "negative-count", "records-past-end",
                    "bad-checksum", "read-failed", "no-memory"]
AliveAt = Literal["end marker", "records exhausted"]
Claims = Literal["match", "differ"]

_R = TypeVar("_R", bound="_Record")


class _Record:
    # Facts a record holds as records of their own.
    _nested: dict[str, Type[_Record]] = {}
    # Names a library may or may not print: absent from its JSON, they stay
    # absent from to_dict().
    _optional: tuple[str, ...] = ()

    @classmethod
    def from_dict(cls: Type[_R], data: dict[str, Any]) -> _R:
        names = [f.name for f in dataclasses.fields(cls) if not f.name.startswith("_")]  # type: ignore[arg-type]
        values: dict[str, Any] = {}
        for name in names:
            if name not in data:
                if name in cls._optional:
                    continue
                raise ValueError(f"runaudit: the library's result has no {name!r}")
            value = data[name]
            nested = cls._nested.get(name)
            values[name] = nested.from_dict(value) if nested is not None and value is not None else value
        if cls._optional:
            values["_absent"] = frozenset(name for name in cls._optional if name not in data)
            # A fact of a later library than this package knows: kept, so
            # that to_dict() still gives the library's whole object.
            values["_later"] = tuple((name, value) for name, value in data.items() if name not in names)
        return cls(**values)

    def to_dict(self) -> dict[str, Any]:
        """The record as the library's JSON object, under the schema's names."""
        out: dict[str, Any] = {}
        absent = getattr(self, "_absent", frozenset())
        for f in dataclasses.fields(self):  # type: ignore[arg-type]
            if f.name.startswith("_") or f.name in absent:
                continue
            value = getattr(self, f.name)
            out[f.name] = value.to_dict() if isinstance(value, _Record) else value
        out.update(getattr(self, "_later", ()))
        return out


@dataclass(frozen=True)
class Sizes(_Record):
    """too-short, records-past-end: the bytes the file needs and has."""
    needed: int
    present: int


@dataclass(frozen=True)
class Checksums(_Record):
    """bad-checksum: the header's checksum and what the bytes give."""
    stored: int
    computed: int


@dataclass(frozen=True)
class GameEnd(_Record):
    """Where the player fell off the screen; frames and records count from 1."""
    frame: int
    record: int
    frameInRecord: int


@dataclass(frozen=True)
class Claimed(_Record):
    """The header's claims."""
    score: int
    floor: int
    combo: int


@dataclass(frozen=True)
class Header(_Record):
    """The header as stored, its texts as UTF-8 (a byte that is not becomes U+FFFD)."""
    signature: str
    recordCount: int
    name: str
    date: str
    score: int
    floor: int
    combo: int
    rejump: int
    seed: int
    checksum: int


@dataclass(frozen=True)
class Result(_Record):
    """Everything a check finds. A file that did not load has verdict
    "error", its error, rejection and why (with size or checksum where the
    rejection has them), and None for every game fact.

    The verdict ignores the header's claims: rank by highestFloor and
    bestCombo, or require claims == "match"."""
    verdict: Verdict
    error: Optional[str]
    rejection: Optional[Rejection]
    why: Optional[str]
    size: Optional[Sizes]
    checksum: Optional[Checksums]
    frames: Optional[int]
    ended: Optional[GameEnd]
    aliveAt: Optional[AliveAt]
    endMarkerRecord: Optional[int]
    markerFollows: Optional[bool]
    highestFloor: Optional[int]
    bestCombo: Optional[int]
    comboScore: Optional[int]
    speedLevel: Optional[int]
    claimed: Optional[Claimed]
    claims: Optional[Claims]
    header: Optional[Header]
    # The game's identity (SHA-256 of what fixes the game, lower-case hex)
    # and the library that judged it ("runaudit 2.0.0"): None when the
    # linked library prints neither.
    gameDigest: Optional[str] = None
    checker: Optional[str] = None
    _absent: frozenset[str] = field(default=frozenset(), repr=False, compare=False)
    _later: tuple[tuple[str, Any], ...] = field(default=(), repr=False, compare=False)

    _optional = ("gameDigest", "checker")
    _nested = {"size": Sizes, "checksum": Checksums, "ended": GameEnd, "claimed": Claimed, "header": Header}

    @property
    def valid(self) -> bool:
        return self.verdict == "valid"

