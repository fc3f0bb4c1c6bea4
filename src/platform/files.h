// The operating system's side of files and standard streams, the one place
// that differs between POSIX systems and Windows (files_posix.cpp,
// files_windows.cpp). Paths are UTF-8 on every system; failures set errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Opens a file for reading without ever waiting on it: a FIFO with no
// process at its other end reads as empty instead of stalling the open,
// while a live pipe is read whole. Returns a descriptor, or -1.
int openForReading(const char* path);

// Up to `size` bytes, retried when a signal interrupts the read before
// anything arrived: the count, 0 at the end, or -1.
std::int64_t readSome(int fd, void* into, std::size_t size);

// The file's size when the system can tell it (a regular file), -1 when it
// cannot (a pipe). A character device (a terminal, a console, the null
// device) has size 0 on Windows, where reading a console would wait for
// someone to type.
std::int64_t sizeOfOpenFile(int fd);

// Back to the first byte; harmless on a stream, which never moved.
void rewindOpenFile(int fd);

// True for a regular file, with its size.
bool isRegularOpenFile(int fd, std::uint64_t& size);

void closeFile(int fd);

// Replaces the file at `path` with `bytes` whole or not at all (a
// temporary file beside it, renamed into place once every byte is on
// disk; on failure the old file stays and the temporary is removed). A
// device or FIFO is written in place, and a FIFO with no reader fails to
// open instead of blocking. A file the caller may not write, or that has
// no write permission for anyone, is refused, never renamed over. False
// with errno's reason in `reason`.
bool replaceFileWhole(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& reason);

// True when both paths exist and name the same file.
bool sameFile(const std::string& a, const std::string& b);

// One entry of a folder: its name, and whether it is a folder to walk into
// (a symbolic link or junction to a folder is not, so that a walk cannot
// loop).
struct FolderEntry {
  std::string name;
  bool folder = false;
};

// The entries of the folder at `path`, "." and ".." left out, in the
// system's order. False with errno's reason in `reason`.
bool listFolder(const std::string& path, std::vector<FolderEntry>& entries, std::string& reason);

// True when `path` names a folder (through links).
bool isFolder(const std::string& path);

// `name` inside `folder`, joined with the system's separator unless the
// folder's path already ends with one.
std::string pathInFolder(const std::string& folder, const std::string& name);

// What a command-line operand names: on Windows, where no shell expands
// wildcards, the files matching its last part's * and ? in name order
// (each with the operand's folder part as given), or the operand itself
// when nothing matches; elsewhere the shell has done it: the operand.
std::vector<std::string> expandWildcards(const std::string& operand);

// Standard streams as the programs need them: a write to a closed pipe
// fails instead of ending the process, and standard output is binary (line
// feeds written as they are, never as CR LF).
void prepareStandardStreams();

// Whether standard error is a terminal or console, where a progress line
// may be shown.
bool standardErrorIsTerminal();

// The program's arguments in UTF-8 (on Windows taken from the wide command
// line, whatever the console's code page).
std::vector<std::string> programArguments(int argc, char** argv);
