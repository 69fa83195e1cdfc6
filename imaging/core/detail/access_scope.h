// Sets the access set of a bitmap for the length of a copy and restores it.
#pragma once

#include "imaging/core/kvbitmap.h"

class TKVAccessScope
{
public:
    TKVAccessScope(TKVBaseBitmap& bitmap, TKVDataAccess access) : FBitmap(bitmap), FSaved(bitmap.Access)
    {
        bitmap.Access = access;
    }
    ~TKVAccessScope() { FBitmap.Access = FSaved; }
    TKVAccessScope(const TKVAccessScope&) = delete;
    TKVAccessScope& operator=(const TKVAccessScope&) = delete;

private:
    TKVBaseBitmap& FBitmap;
    TKVDataAccess FSaved;
};
