// TKVTransitionEffects: animates a view's change from one picture to the next. On each tick of a
// timer of the user-interface thread it composes the frame for the elapsed time with one of 30
// effects, in 10-bit fixed point (1024 = done), and copies it onto the view's window.
#pragma once

#include "platform/core/classes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TBitmap;
class TKVView;
class TTimer;

enum TKVTransitionType : uint8_t
{
    kvttNone,
    kvttCrossDissolve,
    kvttFadeOut,
    kvttFadeIn,
    kvttFadeOutIn,
    kvttLeftRight1,
    kvttLeftRight2,
    kvttRightLeft1,
    kvttRightLeft2,
    kvttUpDown1,
    kvttUpDown2,
    kvttDownUp1,
    kvttDownUp2,
    kvttFromUpLeft,
    kvttFromUpRight,
    kvttFromBottomLeft,
    kvttFromBottomRight,
    kvttMoveLeftRight1,
    kvttMoveLeftRight2,
    kvttMoveRightLeft1,
    kvttMoveRightLeft2,
    kvttMoveUpDown1,
    kvttMoveUpDown2,
    kvttMoveDownUp1,
    kvttMoveDownUp2,
    kvttRandomPoints,
    kvttRandomBoxes,
    kvttCenter1,
    kvttCenter2,
    kvttCenterZoom1,
    kvttCenterZoom2
};

class TKVTransitionEffects : public TObject
{
public:
    explicit TKVTransitionEffects(TKVView* View);
    ~TKVTransitionEffects() override;
    TKVTransitionEffects(const TKVTransitionEffects&) = delete;
    TKVTransitionEffects& operator=(const TKVTransitionEffects&) = delete;

    // Stops a running transition, then sizes the frame, source and target pictures.
    void SetSizes(int32_t Width, int32_t Height);
    void Run(bool UpdateOnStop);
    // Ends a running transition (whatever its type by now): the timer stops, the pictures shrink
    // to 1 x 1, the view's paint lock is released and, when asked, the view repaints.
    void Stop();
    // One frame.
    void TimerEvent(TObject* Sender);

    // The view's old and new looks, 24-bit, painted by the view before Run.
    TBitmap* SourceShot() const { return FSource.get(); }
    TBitmap* TargetShot() const { return FTarget.get(); }
    TBitmap* FrameShot() const { return FFrame.get(); }

    TKVTransitionType Transition = kvttNone;
    // Milliseconds.
    uint32_t Duration = 1000;
    bool Running() const { return FRunning; }
    int32_t Step() const { return FStep; }
    int32_t FrameCount() const { return FFrameCount; }
    TTimer* Timer() const { return FTimer; }
    // The milliseconds clock (the system's tick count; tests set their own).
    std::function<uint32_t()> TickCount;

    // The effects, each composing the frame for step s (0 .. 1024).
    void CrossDissolve(int32_t s);
    void FadeOut(int32_t s);
    void FadeIn(int32_t s);
    void FadeOutIn(int32_t s);
    void LeftRight1(int32_t s);
    void LeftRight2(int32_t s);
    void RightLeft1(int32_t s);
    void RightLeft2(int32_t s);
    void UpDown1(int32_t s);
    void UpDown2(int32_t s);
    void DownUp1(int32_t s);
    void DownUp2(int32_t s);
    void FromUpLeft(int32_t s);
    void FromUpRight(int32_t s);
    void FromBottomLeft(int32_t s);
    void FromBottomRight(int32_t s);
    void MoveLeftRight1(int32_t s);
    void MoveLeftRight2(int32_t s);
    void MoveRightLeft1(int32_t s);
    void MoveRightLeft2(int32_t s);
    void MoveUpDown1(int32_t s);
    void MoveUpDown2(int32_t s);
    void MoveDownUp1(int32_t s);
    void MoveDownUp2(int32_t s);
    void RandomPoints(int32_t s);
    void RandomBoxes(int32_t s);
    void Center1(int32_t s);
    void Center2(int32_t s);
    void CenterZoom1(int32_t s);
    void CenterZoom2(int32_t s);

    // Composes the frame of the current transition for step s (nothing outside 1 .. 30); Run
    // must have prepared the pictures.
    void DrawFrame(int32_t s);

private:
    void BuildRowTables();
    // The rectangle of the picture onto the same place of the frame, cut to the pictures.
    void Blit(const std::vector<uint8_t*>& from, int32_t x, int32_t y, int32_t w, int32_t h);
    // The whole picture onto the frame with its corner at (x, y).
    void DrawAt(const std::vector<uint8_t*>& from, int32_t x, int32_t y);
    // The whole picture stretched (nearest pixel) into the rectangle of the frame.
    void StretchInto(const std::vector<uint8_t*>& from, int32_t x, int32_t y, int32_t w, int32_t h);
    void RedLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void Blend(const std::vector<uint8_t*>& a, int32_t weightA, const uint8_t* colour,
               const std::vector<uint8_t*>* b, int32_t weightB);
    // Columns of each row: frame 0..d-1 from first (at firstFrom), frame d..W-1 from second.
    void SplitColumns(const std::vector<uint8_t*>& first, int32_t firstFrom,
                      const std::vector<uint8_t*>& second, int32_t secondFrom, int32_t d);
    void SplitRows(const std::vector<uint8_t*>& first, int32_t firstFrom, const std::vector<uint8_t*>& second,
                   int32_t secondFrom, int32_t d);

    std::unique_ptr<TBitmap> FSource;
    std::unique_ptr<TBitmap> FTarget;
    std::unique_ptr<TBitmap> FFrame;
    std::vector<uint8_t*> FSourceRows;
    std::vector<uint8_t*> FTargetRows;
    std::vector<uint8_t*> FFrameRows;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    // The size the current run draws: the stored size cut to the pictures.
    int32_t FW = 0;
    int32_t FH = 0;
    bool FRunning = false;
    TKVView* FView;
    TTimer* FTimer;
    int32_t FStep = 0;
    int32_t FRandomCount = 0;
    uint32_t FStartTick = 0;
    bool FUpdateOnStop = false;
    int32_t FFrameCount = 0;
};
