// Components: ownership, free notification, names and assignment.
#include "platform/core/classes.h"
#include "platform/core/exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records its destruction and every notice it hears, and keeps one reference that it clears
// when the referenced component goes away.
class TProbe : public TComponent
{
public:
    TProbe(TComponent* AOwner, std::vector<std::string>* ALog, const std::string& AName = "")
        : TComponent(AOwner), Log(ALog)
    {
        SetName(AName);
    }
    ~TProbe() override { Log->push_back("free " + Name()); }

    void Watch(TComponent* Other)
    {
        Watched = Other;
        if (Other) {
            Other->FreeNotification(this);
        }
    }

    TComponent* Watched = nullptr;
    std::vector<std::string>* Log;
    std::string WatchedNameAtRemoval;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override
    {
        TComponent::Notification(AComponent, Operation);
        if (Operation == opRemove && AComponent == Watched) {
            // The dying component is still whole when freed through Free().
            WatchedNameAtRemoval = AComponent->Name();
            Watched = nullptr;
        }
    }
};

TEST(Component, OwnerFreesItsComponentsDepthFirst)
{
    std::vector<std::string> log;
    auto* root = new TProbe(nullptr, &log, "Root");
    auto* child = new TProbe(root, &log, "Child");
    new TProbe(child, &log, "Grandchild");
    new TProbe(root, &log, "Second");
    EXPECT_EQ(root->ComponentCount(), 2);
    EXPECT_EQ(child->Owner(), root);
    EXPECT_EQ(child->ComponentIndex(), 0);
    EXPECT_EQ(root->FindComponent("child"), child);

    root->Free();
    // The owner's own destructor body runs first, then its children go, last created first.
    EXPECT_EQ(log, (std::vector<std::string>{"free Root", "free Second", "free Child", "free Grandchild"}));
}

TEST(Component, FreedComponentLeavesItsOwnerList)
{
    std::vector<std::string> log;
    TProbe root(nullptr, &log, "Root");
    auto* child = new TProbe(&root, &log, "Child");
    auto* other = new TProbe(&root, &log, "Other");
    delete child;
    ASSERT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.Components(0), other);
    EXPECT_THROW(root.Components(1), EListError);
}

TEST(Component, FreeNotificationClearsReferencesAcrossOwners)
{
    std::vector<std::string> log;
    TProbe formA(nullptr, &log, "FormA");
    TProbe formB(nullptr, &log, "FormB");
    auto* view = new TProbe(&formA, &log, "View");
    auto* io = new TProbe(&formB, &log, "IO");
    io->Watch(view);

    view->Free();
    EXPECT_EQ(io->Watched, nullptr);
    EXPECT_EQ(io->WatchedNameAtRemoval, "View");
}

TEST(Component, PlainDeleteStillClearsReferences)
{
    std::vector<std::string> log;
    TProbe watcher(nullptr, &log, "Watcher");
    auto* target = new TProbe(nullptr, &log, "Target");
    watcher.Watch(target);
    delete target;
    EXPECT_EQ(watcher.Watched, nullptr);
}

TEST(Component, SiblingsHearOfEachOtherThroughTheirOwner)
{
    std::vector<std::string> log;
    TProbe form(nullptr, &log, "Form");
    auto* image = new TProbe(&form, &log, "Image");
    auto* proc = new TProbe(&form, &log, "Proc");
    proc->Watch(image);
    image->Free();
    EXPECT_EQ(proc->Watched, nullptr);
}

TEST(Component, LinkIsDroppedWhenTheWatcherGoesFirst)
{
    std::vector<std::string> log;
    auto* target = new TProbe(nullptr, &log, "Target");
    auto* watcher = new TProbe(nullptr, &log, "Watcher");
    watcher->Watch(target);
    watcher->Free();
    // Freeing the target must not reach the freed watcher (the sanitizer would catch it).
    target->Free();
    EXPECT_EQ(log, (std::vector<std::string>{"free Watcher", "free Target"}));
}

TEST(Component, RemoveFreeNotificationStopsTheNotice)
{
    std::vector<std::string> log;
    TProbe watcher(nullptr, &log, "Watcher");
    auto* target = new TProbe(nullptr, &log, "Target");
    watcher.Watch(target);
    target->RemoveFreeNotification(&watcher);
    target->Free();
    EXPECT_NE(watcher.Watched, nullptr); // no notice came, as asked
}

TEST(Component, DestroyingStateIsSetWhileNoticesGoOut)
{
    class TCheck : public TComponent
    {
    public:
        using TComponent::TComponent;
        bool SawDestroying = false;

    protected:
        void Notification(TComponent* AComponent, TOperation Operation) override
        {
            TComponent::Notification(AComponent, Operation);
            if (Operation == opRemove) {
                SawDestroying = (AComponent->ComponentState() & csDestroying) != 0;
            }
        }
    };
    TCheck watcher(nullptr);
    auto* target = new TComponent(nullptr);
    target->FreeNotification(&watcher);
    target->Free();
    EXPECT_TRUE(watcher.SawDestroying);
}

TEST(Component, NamesAreIdentifiersAndUniquePerOwner)
{
    TComponent owner(nullptr);
    auto* first = new TComponent(&owner);
    first->SetName("Button1");
    auto* second = new TComponent(&owner);
    EXPECT_THROW(second->SetName("BUTTON1"), EComponentError);
    for (const char* bad : {"1abc", "a b", "a-b"}) {
        EXPECT_THROW(second->SetName(bad), EComponentError) << bad;
    }
    second->SetName("Button2");
    second->SetName("");
    EXPECT_EQ(second->Name(), "");
}

TEST(Component, InsertComponentMovesOwnership)
{
    std::vector<std::string> log;
    TProbe oldOwner(nullptr, &log, "Old");
    TProbe newOwner(nullptr, &log, "New");
    auto* child = new TProbe(&oldOwner, &log, "Child");
    newOwner.InsertComponent(child);
    EXPECT_EQ(oldOwner.ComponentCount(), 0);
    EXPECT_EQ(newOwner.ComponentCount(), 1);
    EXPECT_EQ(child->Owner(), &newOwner);
}

TEST(Persistent, AssignWithoutSupportRaisesConvertError)
{
    TPersistent a;
    TPersistent b;
    EXPECT_THROW(a.Assign(&b), EConvertError);
    EXPECT_THROW(a.Assign(nullptr), EConvertError);
    EXPECT_EQ(a.ClassName(), "TPersistent");
}

} // namespace
