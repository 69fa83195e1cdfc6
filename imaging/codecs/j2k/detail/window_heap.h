// Keeps the memory that the JPEG 2000 library frees after one window of a picture for the next,
// and gives it back once the picture is decoded.
#pragma once

namespace Kvj2000::detail {

// The library allocates every window's buffers anew (the decoded code-blocks, the copies it
// transforms them in, the window's samples) and frees them after it. glibc gives the top of its
// heap back to the system whenever that passes its trim threshold, so that each window would
// take its buffers as fresh pages, a page fault for every 4 KiB: on a huge picture that costs
// more than the decoding. glibc raises the threshold by itself, to twice the largest block it has
// given back below 32 MiB, as a program that frees such blocks would have it; one is handed back
// when the windows start, so that a window's buffers stay for the next. A program that has fixed
// the threshold (mallopt, or glibc's environment) keeps it: glibc then leaves it alone. Once the
// picture is decoded, what the library left free is given back, which changes no setting.
class TWindowHeap
{
public:
    // Only a picture of more than one window gains.
    explicit TWindowHeap(bool manyWindows);
    ~TWindowHeap();
    TWindowHeap(const TWindowHeap&) = delete;
    TWindowHeap& operator=(const TWindowHeap&) = delete;

private:
    bool FManyWindows;
};

} // namespace Kvj2000::detail
