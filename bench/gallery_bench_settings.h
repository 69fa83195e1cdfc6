// The settings the gallery benchmarks run with, from the environment their scripts set:
// PLIMBET_BENCH_IMAGES (the pictures), PLIMBET_BENCH_GALLERY (the gallery folder),
// PLIMBET_BENCH_PROGRAM (the program folder with the shipped templates) and PLIMBET_BENCH_THREADS
// (the workers, 0 or unset: one per usable core). Pictures are fitted to 800 x 600, thumbnails to
// 160 x 160, both at quality 80, on the pages of the "classic" template.
#pragma once

#include "app/settings.h"
#include "app/templates.h"
#include "platform/core/files.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace benchgallery {

inline std::string Setting(const char* Name)
{
    const char* value = std::getenv(Name);
    return value != nullptr ? value : "";
}

// False, with the benchmark skipped, when the environment lacks a folder; Script names the script
// that sets it.
inline bool UseBenchSettings(benchmark::State& State, const std::string& Script)
{
    const std::string images = Setting("PLIMBET_BENCH_IMAGES");
    const std::string gallery = Setting("PLIMBET_BENCH_GALLERY");
    const std::string program = Setting("PLIMBET_BENCH_PROGRAM");
    if (images.empty() || gallery.empty() || program.empty()) {
        const std::string error =
            "set PLIMBET_BENCH_IMAGES, PLIMBET_BENCH_GALLERY and PLIMBET_BENCH_PROGRAM (" + Script + " does)";
        State.SkipWithError(error.c_str());
        return false;
    }
    GallerySettings.ProgramFolder = IncludeTrailingPathDelimiter(program);
    GallerySettings.ImagesPath = images;
    GallerySettings.GalleryPath = gallery;
    GallerySettings.ImageSizeIndex = 2;
    GallerySettings.ImageWidth = 800;
    GallerySettings.ImageHeight = 600;
    GallerySettings.IconWidth = 160;
    GallerySettings.IconHeight = 160;
    GallerySettings.ImageQuality = 80;
    GallerySettings.IconQuality = 80;
    GallerySettings.Threads = std::atoi(Setting("PLIMBET_BENCH_THREADS").c_str());
    InstalledTemplates = ReadInstalledTemplates(GallerySettings.ProgramFolder + "templates/");
    GallerySettings.TemplateIndex = -1;
    for (size_t k = 0; k < InstalledTemplates.size(); ++k) {
        if (InstalledTemplates[k].Folder == "classic") {
            GallerySettings.TemplateIndex = static_cast<int32_t>(k) + 1;
        }
    }
    return true;
}

} // namespace benchgallery
