// The files a run writes beside one another: the rule that names a file beside
// a report, and the check that no two outputs are one file.
#pragma once

#include <cstddef>

#include "BoundedText.h"
#include "CommandLine.h"
#include "LongestPath.h"

using OutputPath = WideText<kLongestPath>;

// Fills `beside` with `path`'s name under `extension` (".json", ".log"): the
// name's extension replaced, or `extension` appended to a name without one ("run"
// -> "run.json"; a dot that starts the name, ".html", or lies in a folder's name
// is none). A name that already has `extension` (in any case) keeps it and gets
// it again, so the file beside is never the file itself ("run.json" ->
// "run.json.json"). False when the path would be too long.
bool PathBeside(const wchar_t* path, const wchar_t* extension, OutputPath& beside);

// One output of a run: how the operator named it (an option, or a box) and its
// full path; null when the run does not write it.
struct OutputFile {
    const wchar_t* name;
    const wchar_t* path;
};

// The first two of `files` (in the table's order) that are one file: full paths
// compared as Windows compares file names, without regard to case. {count,
// count} when none are.
struct OutputCollision {
    std::size_t first;
    std::size_t second;
};
OutputCollision FindOutputCollision(const OutputFile* files, std::size_t count);

// Whether two full paths name one file, as above.
bool SameFileName(const wchar_t* a, const wchar_t* b);

// "/report 与 /log 指向同一个文件：<path>" (the path cut beyond 1024 characters).
using CollisionText = WideText<1200>;
CollisionText OutputCollisionText(const OutputFile& first, const OutputFile& second);

// The files the command line's options make a run write, one row each: an
// output an option adds later joins the check below with one row.
struct OutputOption {
    const wchar_t* name;                            // as the message names it
    const wchar_t* CommandLineOptions::*path;       // the option's path; null: not given
    const wchar_t* beside;                          // the file beside it (PathBeside), or null: the path itself
};
extern const OutputOption kOutputOptions[];
extern const std::size_t kOutputOptionCount;

// Makes `path` full (Windows: GetFullPathNameW); false when it cannot.
using MakeFullPath = bool (*)(const wchar_t* path, OutputPath& full);

// Whether two of the files `options` name are one file, their full paths
// compared as above; `text` then says which two. A path that cannot be made
// full takes no part: opening it tells why.
bool FindCommandLineCollision(const CommandLineOptions& options, MakeFullPath makeFull, CollisionText& text);
