// Keeps the memory that the JPEG 2000 library frees after one window of a picture for the next,
// and gives it back once the picture is decoded.
#pragma once

namespace Kvj2000::detail {

// The library allocates each window's buffers anew (its decoded code-blocks, the copies it
// transforms them in, the window's samples) and frees them after the window. glibc hands the top
// of its heap back to the system once the free memory there passes its trim threshold, 128 KiB
// at first: each window would then take its buffers as fresh pages, a page fault every 4 KiB,
// which on a huge picture costs more than the decoding. glibc raises that threshold itself when
// a program frees a block that glibc mapped on its own, of up to 32 MiB, to twice that block's
// size (see mallopt(3)); such a block is freed as the windows start, so that what one window
// frees stays for the next. A program that has set the threshold itself (mallopt, or glibc's
// environment) keeps it: glibc then adjusts nothing. Once the picture is decoded, the memory left
// free is handed back, which changes no setting. Elsewhere than on glibc nothing is done.
class TWindowHeap
{
public:
    // Only a picture of more than one window gains.
    explicit TWindowHeap(bool manyWindows);
    ~TWindowHeap();
    TWindowHeap(const TWindowHeap&) = delete;
    TWindowHeap& operator=(const TWindowHeap&) = delete;

private:
    [[maybe_unused]] bool FManyWindows;
};

} // namespace Kvj2000::detail
