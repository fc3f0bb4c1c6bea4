/*
 * runaudit.h: the replay checker as a C library.
 *
 * A replay file is a 98-byte header (the player's name, the date, the
 * seed, and the score, floor and combo the recording claims) followed by
 * run-length-encoded input records. The library loads one, replays every
 * input through its bit-exact model of the game, and says whether the
 * simulated game ends exactly where the recording ends: "valid" or
 * "invalid". It also says what the game really reached (the highest floor
 * landed on, the best combo) and whether the header's claims agree.
 *
 * The verdict ignores the header's claims, and must: they are guarded only
 * by a checksum anyone can recompute, so a forged copy of a genuine replay
 * with a higher claimed floor is still "valid". Rank runs by the simulated
 * `highestFloor` and `bestCombo`, or require `claims` to be
 * RUNAUDIT_CLAIMS_MATCH. The score is reported as claimed only: the game's
 * score formula is not part of the model.
 *
 * Rules for every function:
 *   - Plain C, no exceptions, no global state but the arithmetic that
 *     runaudit_set_arithmetic chooses: any number of threads may call the
 *     library at once, on different records.
 *   - The caller owns every record it passes. The only memory the library
 *     hands over is the text of runaudit_result_json,
 *     runaudit_view_bytes and runaudit_evidence_bytes, freed by
 *     runaudit_free.
 *   - A check saves the calling thread's floating-point mode, runs in the
 *     mode the model needs, and restores the caller's mode before returning.
 *
 * The names of a result's facts are those of the JSON the `replaytool`
 * program prints (`check --json`, `show --json`): `verdict`, `rejection`,
 * `size`, `checksum`, `frames`,
 * `ended`, `aliveAt`, `endMarkerRecord`, `markerFollows`, `highestFloor`,
 * `bestCombo`, `comboScore`, `speedLevel`, `claims`, `gameDigest`.
 */
#ifndef RUNAUDIT_H
#define RUNAUDIT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(RUNAUDIT_SHARED_LIBRARY)
#define RUNAUDIT_API __declspec(dllexport)
#elif defined(_WIN32) && defined(RUNAUDIT_DLL)
#define RUNAUDIT_API __declspec(dllimport)
#elif defined(__GNUC__)
#define RUNAUDIT_API __attribute__((visibility("default")))
#else
#define RUNAUDIT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version: the header's, and (through runaudit_version) the
 * one actually linked. The number is major * 1000000 + minor * 1000 + patch. */
#define RUNAUDIT_VERSION "2.0.0"
#define RUNAUDIT_VERSION_NUMBER 2000000

/* The linked library's version text, e.g. "2.0.0"; a static string. */
RUNAUDIT_API const char* runaudit_version(void);

/* The linked library's RUNAUDIT_VERSION_NUMBER. */
RUNAUDIT_API int runaudit_version_number(void);

/* result.verdict */
enum {
  RUNAUDIT_VALID = 0,   /* the game ends during a record that the end marker follows */
  RUNAUDIT_INVALID = 1, /* loaded, but the game does not end where the recording does */
  RUNAUDIT_ERROR = 2    /* not loaded: see loadError */
};

/* result.loadError: why a replay did not load, each with its fixed message. */
enum {
  RUNAUDIT_LOADED = 0,
  RUNAUDIT_OPEN_FAILED = 1,  /* "Could not open file" */
  RUNAUDIT_NOT_A_REPLAY = 2, /* "File is not a valid replay": too short, wrong
                                signature, negative or oversized record count,
                                or a checksum that does not match */
  RUNAUDIT_READ_FAILED = 3,  /* "Could not read from file" */
  RUNAUDIT_NO_MEMORY = 4     /* "Memory allocation failed" */
};

/* result.rejection: which of the loader's checks refused the file, in the
 * order they run. runaudit_rejection_name gives each its JSON name. */
enum {
  RUNAUDIT_REJECT_NONE = 0,             /* loaded */
  RUNAUDIT_REJECT_OPEN_FAILED = 1,      /* "open-failed": RUNAUDIT_OPEN_FAILED */
  RUNAUDIT_REJECT_TOO_SHORT = 2,        /* "too-short": fewer bytes than the 98 of a header; see size */
  RUNAUDIT_REJECT_BAD_SIGNATURE = 3,    /* "bad-signature": the first six bytes are not WLX130 */
  RUNAUDIT_REJECT_NEGATIVE_COUNT = 4,   /* "negative-count": recordCount is below 0 */
  RUNAUDIT_REJECT_RECORDS_PAST_END = 5, /* "records-past-end": the file ends inside its records; see size */
  RUNAUDIT_REJECT_BAD_CHECKSUM = 6,     /* "bad-checksum": the bytes do not give the stored checksum; see checksum */
  RUNAUDIT_REJECT_READ_FAILED = 7,      /* "read-failed": RUNAUDIT_READ_FAILED */
  RUNAUDIT_REJECT_NO_MEMORY = 8         /* "no-memory": RUNAUDIT_NO_MEMORY */
};

/* result.size, for RUNAUDIT_REJECT_TOO_SHORT and _RECORDS_PAST_END (zero
 * otherwise): the bytes the file needs (98, or 98 + 5 * recordCount) and
 * the bytes it has (as the system reported its size: 4294967295 when it
 * could not). */
typedef struct runaudit_sizes {
  uint64_t needed;
  uint64_t present;
} runaudit_sizes;

/* result.checksum, for RUNAUDIT_REJECT_BAD_CHECKSUM (zero otherwise). */
typedef struct runaudit_checksums {
  uint32_t stored;   /* the header's checksum field */
  uint32_t computed; /* what the header and records give */
} runaudit_checksums;

/* result.aliveAt: where a game that did not end stopped. */
enum {
  RUNAUDIT_ALIVE_NOWHERE = 0,         /* the game ended (see `ended`), or no game */
  RUNAUDIT_ALIVE_AT_END_MARKER = 1,   /* playback reached the end marker */
  RUNAUDIT_ALIVE_AT_END_OF_RECORDS = 2 /* the records ran out first */
};

/* result.claims */
enum {
  RUNAUDIT_CLAIMS_NONE = 0,  /* no game: the replay did not load */
  RUNAUDIT_CLAIMS_MATCH = 1, /* header floor == highestFloor and combo == bestCombo */
  RUNAUDIT_CLAIMS_DIFFER = 2
};

/* The header as stored. The texts are the stored bytes: NUL-terminated
 * only when shorter than their field, and not necessarily UTF-8. */
typedef struct runaudit_header {
  char signature[6]; /* "WLX130", not terminated */
  int32_t recordCount;
  char name[32];
  char date[32];
  int32_t score; /* claimed */
  int32_t floor; /* claimed */
  int32_t combo; /* claimed */
  int32_t rejump;
  uint32_t seed;
  uint32_t checksum;
} runaudit_header;

/* Where the game ended: the player dropped off the screen. All zero when it
 * did not end (frames count from 1, records from 1). */
typedef struct runaudit_end {
  uint64_t frame;         /* the frame in which it ended, == frames */
  uint32_t record;        /* the record being played then */
  uint64_t frameInRecord; /* that frame's place in the record, from 1 */
} runaudit_end;

/* Everything a check finds. A replay that did not load has verdict
 * RUNAUDIT_ERROR, its loadError, error and rejection set (with size or
 * checksum where the rejection has them), and every other field zero.
 *
 * The caller allocates the record, so its layout is part of the ABI: it
 * changes only with the major version, which is the shared library's
 * soname (librunaudit.so.2). A later 2.x version adds facts only inside
 * `reserved`, which a check sets to zero. */
typedef struct runaudit_result {
  int32_t verdict;       /* RUNAUDIT_VALID, _INVALID or _ERROR */
  int32_t loadError;     /* RUNAUDIT_LOADED or why the replay did not load */
  const char* error;     /* the load error's message (a static string), or NULL */
  int32_t rejection;     /* RUNAUDIT_REJECT_*: the check that refused the file */
  runaudit_sizes size;   /* too short: the bytes needed and present */
  runaudit_checksums checksum; /* bad checksum: stored and computed */
  runaudit_header header; /* as stored; zero when not loaded */
  uint64_t frames;       /* frames played */
  runaudit_end ended;    /* where the game ended, if it did */
  int32_t aliveAt;       /* RUNAUDIT_ALIVE_*: where a game that did not end stopped */
  uint32_t endMarkerRecord; /* the first record holding the end marker, from 1; 0: none */
  int32_t markerFollows; /* 1 when the game ended and the end marker is the next record */
  int32_t highestFloor;  /* the highest floor landed on */
  int32_t bestCombo;     /* the best combo reached */
  int32_t comboScore;    /* the combo points gathered */
  int32_t speedLevel;    /* the screen's speed level at the end */
  int32_t claims;        /* RUNAUDIT_CLAIMS_*: the header's floor and combo against the game */
  uint8_t gameDigest[32]; /* the game's identity (docs/format.md): equal for two files
                             of the same game whatever their names, dates, claims or
                             record splitting; zero when not loaded */
  uint64_t reserved[4];  /* zero; room for what later 2.x versions report */
} runaudit_result;

/* Checks the replay file held in `size` bytes at `bytes`. The bytes are
 * read, never kept or changed, and belong to the caller; `bytes` may be
 * NULL only when `size` is 0. The file is judged exactly as one read from a
 * path: a buffer too short for the header or its records, or with a wrong
 * signature or checksum, is RUNAUDIT_NOT_A_REPLAY. Fills `*result` (which
 * must not be NULL) and returns its verdict; with a NULL `result` nothing
 * is checked and the return is RUNAUDIT_ERROR. */
RUNAUDIT_API int runaudit_check_bytes(const void* bytes, size_t size, runaudit_result* result);

/* Checks the replay file at `path` (a NUL-terminated path in the system's
 * encoding). Reads it once, by its header: a device or pipe that never
 * ends costs no more than the replay it claims to be, and a FIFO with no
 * writer does not block. Otherwise as runaudit_check_bytes, with the two
 * messages only a file can give: RUNAUDIT_OPEN_FAILED (also for a NULL
 * path) and RUNAUDIT_READ_FAILED. */
RUNAUDIT_API int runaudit_check_file(const char* path, runaudit_result* result);

/* Called during a long check with the records played so far and the
 * file's record count: at the start, then after every 1024 records. A
 * record may stand for many frames, but the cost of any one record is
 * bounded, so the calls come at least every few milliseconds of work.
 * To give up on a check, run it where it can be stopped (a thread, a Web
 * Worker, a process). */
typedef void (*runaudit_progress)(void* context, uint32_t recordsPlayed, uint32_t recordCount);

/* As runaudit_check_bytes, reporting progress to `progress` (which may be
 * NULL) with `context` passed through. */
RUNAUDIT_API int runaudit_check_bytes_progress(const void* bytes, size_t size, runaudit_result* result,
                                               runaudit_progress progress, void* context);

/* The result as one JSON object, with the names `replaytool check --json`
 * prints: "verdict", "error", "rejection", "why", "size", "checksum", "frames", "ended", "aliveAt",
 * "endMarkerRecord", "markerFollows", "highestFloor", "bestCombo",
 * "comboScore", "speedLevel", "claimed", "claims", "gameDigest" (as hex),
 * with "checker" ("runaudit VERSION") first, then "header" (the
 * header's fields, the name and date as UTF-8 text), which is null, as
 * every game fact is, for a file that did not load. Sets `*json` to the
 * NUL-terminated text (free it with runaudit_free) and `*length` (when not
 * NULL) to its length in bytes. Returns 0, or -1 with `*json` NULL when
 * an argument is NULL or memory ran out. */
RUNAUDIT_API int runaudit_result_json(const runaudit_result* result, char** json, size_t* length);

/* What the replay viewer draws for the replay in `size` bytes at `bytes`:
 * the game played frame by frame (its first 1,000,000 frames), as JSON
 * with per-frame columns, the verdict of the whole file, the claims and an
 * SVG overview of the climb (see docs/format.md). Sets `*json` as
 * runaudit_result_json does and returns the verdict; for a file that does
 * not load returns RUNAUDIT_ERROR with `*json` NULL. */
RUNAUDIT_API int runaudit_view_bytes(const void* bytes, size_t size, char** json, size_t* length);

/* Chooses the arithmetic of every later check in the process: "auto" (the
 * default: the fastest exact one this build and CPU offer), "exact" (the
 * exact model alone: the x87 unit, or the software model where there is
 * none), "fast" (binary64 with a fused multiply-add; split products where
 * the CPU has none) or "split" (binary64 with split products). Every one
 * gives the same results bit for bit: the choice is there to compare and
 * time them. The library reads no environment variable; this is the only
 * way to choose. Not thread-safe: call it before checks start, never while
 * one runs. Returns 0, or -1 (nothing changed) for NULL or another name. */
RUNAUDIT_API int runaudit_set_arithmetic(const char* name);

/* The timing evidence and the file facts of the replay in `size` bytes at
 * `bytes` (docs/evidence.md defines every number): every press and release
 * of the played game with its window, the summary and the facts, as the
 * JSON object `replaytool evidence --json` prints for one file, without
 * its "file" and "rank" (see docs/format.md), with the default reach (8)
 * and horizon (600). Its cost is bounded as the command's is. Sets `*json`
 * as runaudit_result_json does and returns the verdict; for a file that
 * does not load returns RUNAUDIT_ERROR with `*json` NULL. */
RUNAUDIT_API int runaudit_evidence_bytes(const void* bytes, size_t size, char** json, size_t* length);

/* Frees text the library handed over; NULL is ignored. */
RUNAUDIT_API void runaudit_free(void* memory);

/* The fixed message of a load error ("Could not open file", ...), NULL for
 * RUNAUDIT_LOADED and for numbers that are not load errors. */
RUNAUDIT_API const char* runaudit_load_error_message(int loadError);

/* "too-short", "bad-signature", ... (see RUNAUDIT_REJECT_*); NULL for
 * RUNAUDIT_REJECT_NONE and anything else. */
RUNAUDIT_API const char* runaudit_rejection_name(int rejection);

/* Why a file was refused, in plain words: the text after the message that
 * `replaytool check` and `show` print, and the result JSON's "why", e.g.
 * "the header announces 175 records (875 bytes) but 22 follow". Writes it,
 * NUL-terminated and cut to fit, into `buffer` (which may be NULL when
 * `size` is 0) and returns its whole length, as snprintf does; 0, with an
 * empty text, for a replay that loaded or a NULL `result`. 200 bytes
 * always suffice. */
RUNAUDIT_API size_t runaudit_rejection_text(const runaudit_result* result, char* buffer, size_t size);

/* The result's gameDigest as 64 lower-case hex digits and a NUL, written
 * to `hex`; returns 0, or -1 (an empty text) for a result with no game (not
 * loaded, or NULL). */
RUNAUDIT_API int runaudit_game_digest_hex(const runaudit_result* result, char hex[65]);

/* "valid", "invalid" or "error"; NULL for anything else. */
RUNAUDIT_API const char* runaudit_verdict_name(int verdict);

/* "match" or "differ"; NULL for RUNAUDIT_CLAIMS_NONE and anything else. */
RUNAUDIT_API const char* runaudit_claims_name(int claims);

/* "end marker" or "records exhausted"; NULL for RUNAUDIT_ALIVE_NOWHERE and
 * anything else. */
RUNAUDIT_API const char* runaudit_alive_at_name(int aliveAt);

#ifdef __cplusplus
}
#endif

#endif /* RUNAUDIT_H */
