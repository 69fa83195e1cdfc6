// The root classes of the class-library layer: TObject, TPersistent and TComponent with its
// ownership of child components and free notification.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TObject
{
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    // The most derived class's name, e.g. "TStringList".
    std::string ClassName() const;

    // Called by Free() before the destructor runs, while the object is still whole.
    virtual void BeforeDestruction() {}
    // BeforeDestruction, then delete. Prefer it to a plain delete for components, so that those
    // told of the removal can still call the component.
    void Free();
};

// Frees the object and sets the pointer to nullptr.
template <class T> void FreeAndNil(T*& Object)
{
    T* doomed = Object;
    Object = nullptr;
    if (doomed) {
        doomed->Free();
    }
}

// A std::unique_ptr deleter that frees through TObject::Free.
struct TObjectFree
{
    void operator()(TObject* Object) const
    {
        if (Object) {
            Object->Free();
        }
    }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TPersistent : public TObject
{
public:
    // Copies Source into this object; the default asks Source to AssignTo this one, and raises
    // EConvertError when neither side knows the other.
    virtual void Assign(TPersistent* Source);

protected:
    virtual void AssignTo(TPersistent* Dest);
};

enum TOperation : uint8_t
{
    opInsert,
    opRemove
};

enum TComponentStateFlag : uint16_t
{
    csLoading = 1 << 0,
    csReading = 1 << 1,
    csWriting = 1 << 2,
    csDestroying = 1 << 3,
    csDesigning = 1 << 4,
    csAncestor = 1 << 5,
    csUpdating = 1 << 6,
    csFixups = 1 << 7,
    csFreeNotification = 1 << 8,
    csInline = 1 << 9,
    csDesignInstance = 1 << 10,
};
using TComponentState = uint16_t;

// A component owns the components created with it as owner and frees them when it is freed.
// When a component goes away (freed, or removed from its owner), Notification(it, opRemove)
// reaches its owner and, through the owner, every sibling, and every component that asked for
// FreeNotification, so that they can clear their references to it.
class TComponent : public TPersistent
{
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    void BeforeDestruction() override;

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    // Raises EComponentError when the name is not an identifier or the owner already has a
    // component of that name (compared without regard to case). An empty name is allowed.
    virtual void SetName(const std::string& NewName);

    int32_t ComponentCount() const { return static_cast<int32_t>(FComponents.size()); }
    // Raises EListError when Index is out of range.
    TComponent* Components(int32_t Index) const;
    // Position of this component in its owner's list, -1 without owner.
    int32_t ComponentIndex() const;
    TComponent* FindComponent(const std::string& AName) const;

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    void DestroyComponents();
    // Marks this component and its children csDestroying.
    void Destroying();

    TComponentState ComponentState() const { return FComponentState; }

    // Ask to be told (by Notification with opRemove) when AComponent is freed; the link is
    // kept both ways, so it is dropped when either side goes away.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    intptr_t Tag() const { return FTag; }
    void SetTag(intptr_t Value) { FTag = Value; }

protected:
    // Overrides call the inherited version first; it drops free-notification links to a
    // removed component and passes the notice on to every owned component.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    void SetComponentState(TComponentState State) { FComponentState = State; }
    virtual void Loaded() {}

private:
    void RemoveNotification(TComponent* AComponent);
    void SendRemoveNotifications();

    TComponent* FOwner = nullptr;
    std::string FName;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    TComponentState FComponentState = 0;
    intptr_t FTag = 0;
    bool FRemoveSent = false;
};
