// Something mounted on a folder inside one the program empties or removes, as a user may mount a
// disk or another folder there while the program works: a tmpfs of its own, or a folder bound.
#pragma once

#include "tests/support/small_disk.h"

#include <memory>
#include <string>

namespace apptest {

// A tmpfs (Bind false) or the folder Source bound (Bind true) on Folder while it lives, in the
// thread's own mount namespace; it takes root. Mounted tells, and Why says what failed.
class TMountInside
{
public:
    TMountInside(bool Bind, const std::string& Source, const std::string& Folder)
    {
        if (Bind) {
            FBound = std::make_unique<kvtest::TBoundFolder>(Source, Folder);
        } else {
            FDisk = std::make_unique<kvtest::TSmallDisk>(Folder, 1 << 20);
        }
    }
    bool Mounted() const { return FBound ? FBound->Mounted : FDisk->Mounted; }
    std::string Why() const { return FBound ? FBound->Why : FDisk->Why; }

private:
    std::unique_ptr<kvtest::TBoundFolder> FBound;
    std::unique_ptr<kvtest::TSmallDisk> FDisk;
};

} // namespace apptest
