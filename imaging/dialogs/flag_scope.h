// Flags that a dialog raises or lowers for the length of a scope.
#pragma once

// Sets a flag for the length of a scope and puts back what it was.
class TFlagScope
{
public:
    TFlagScope(bool& Flag, bool Value) : FFlag(Flag), FSaved(Flag) { FFlag = Value; }
    ~TFlagScope() { FFlag = FSaved; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
    bool FSaved;
};

// While it lives, the dialog's "controls live" flag is down, so that the change handlers set off
// by the dialog writing its controls return at once.
class TQuiet : public TFlagScope
{
public:
    explicit TQuiet(bool& Live) : TFlagScope(Live, false) {}
};
