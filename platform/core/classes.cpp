// TObject, TPersistent and TComponent: class names, assignment, ownership and notification.
#include "platform/core/classes.h"

#include "platform/core/exceptions.h"
#include "platform/core/strings.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

std::string TObject::ClassName() const
{
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = (status == 0 && demangled) ? demangled : mangled;
    std::free(demangled);
    return name;
}

void TObject::Free()
{
    BeforeDestruction();
    delete this;
}

void TPersistent::Assign(TPersistent* Source)
{
    if (Source) {
        Source->AssignTo(this);
        return;
    }
    throw EConvertError("Cannot assign a nil to a " + ClassName());
}

void TPersistent::AssignTo(TPersistent* Dest)
{
    throw EConvertError("Cannot assign a " + ClassName() + " to a " + Dest->ClassName());
}

namespace {

bool IsValidIdent(const std::string& Name)
{
    if (Name.empty()) {
        return false;
    }
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!alpha(Name[0])) {
        return false;
    }
    return std::all_of(Name.begin(), Name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void EraseOne(std::vector<TComponent*>& List, TComponent* Item)
{
    auto found = std::find(List.begin(), List.end(), Item);
    if (found != List.end()) {
        List.erase(found);
    }
}

} // namespace

TComponent::TComponent(TComponent* AOwner)
{
    if (AOwner) {
        AOwner->InsertComponent(this);
    }
}

TComponent::~TComponent()
{
    // A plain delete skips BeforeDestruction; the notices still go out, but the derived parts
    // of this object are gone by now.
    if (!FRemoveSent) {
        Destroying();
        SendRemoveNotifications();
    }
    DestroyComponents();
}

void TComponent::BeforeDestruction()
{
    Destroying();
    SendRemoveNotifications();
}

void TComponent::SendRemoveNotifications()
{
    FRemoveSent = true;
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        EraseOne(other->FFreeNotifies, this);
        other->Notification(this, opRemove);
    }
    if (FOwner) {
        FOwner->RemoveComponent(this);
    }
}

void TComponent::SetName(const std::string& NewName)
{
    if (NewName == FName) {
        return;
    }
    if (!NewName.empty() && !IsValidIdent(NewName)) {
        throw EComponentError("'" + NewName + "' is not a valid component name");
    }
    if (!NewName.empty() && FOwner) {
        TComponent* existing = FOwner->FindComponent(NewName);
        if (existing && existing != this) {
            throw EComponentError("A component named " + NewName + " already exists");
        }
    }
    FName = NewName;
}

TComponent* TComponent::Components(int32_t Index) const
{
    if (Index < 0 || Index >= ComponentCount()) {
        throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
    }
    return FComponents[static_cast<size_t>(Index)];
}

int32_t TComponent::ComponentIndex() const
{
    if (!FOwner) {
        return -1;
    }
    const auto& siblings = FOwner->FComponents;
    auto found = std::find(siblings.begin(), siblings.end(), this);
    return found == siblings.end() ? -1 : static_cast<int32_t>(found - siblings.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const
{
    if (AName.empty()) {
        return nullptr;
    }
    for (TComponent* component : FComponents) {
        if (SameText(component->FName, AName)) {
            return component;
        }
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent)
{
    if (!AComponent || AComponent->FOwner == this) {
        return;
    }
    if (AComponent->FOwner) {
        AComponent->FOwner->RemoveComponent(AComponent);
    }
    if (!AComponent->FName.empty() && FindComponent(AComponent->FName)) {
        throw EComponentError("A component named " + AComponent->FName + " already exists");
    }
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
    if (FComponentState & csDesigning) {
        AComponent->FComponentState |= csDesigning;
    }
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent)
{
    if (!AComponent || AComponent->FOwner != this) {
        return;
    }
    Notification(AComponent, opRemove);
    EraseOne(FComponents, AComponent);
    AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents()
{
    // Each child takes itself out of the list as it goes.
    while (!FComponents.empty()) {
        TComponent* child = FComponents.back();
        child->Free();
    }
}

void TComponent::Destroying()
{
    if (FComponentState & csDestroying) {
        return;
    }
    FComponentState |= csDestroying;
    for (TComponent* child : FComponents) {
        child->Destroying();
    }
}

void TComponent::FreeNotification(TComponent* AComponent)
{
    if (!AComponent || AComponent == this) {
        return;
    }
    // Components of one owner hear of each other through the owner already.
    if (FOwner && AComponent->FOwner == FOwner) {
        FComponentState |= csFreeNotification;
        return;
    }
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(AComponent);
        AComponent->FreeNotification(this);
    }
    FComponentState |= csFreeNotification;
}

void TComponent::RemoveFreeNotification(TComponent* AComponent)
{
    RemoveNotification(AComponent);
    if (AComponent) {
        AComponent->RemoveNotification(this);
    }
}

void TComponent::RemoveNotification(TComponent* AComponent)
{
    EraseOne(FFreeNotifies, AComponent);
    if (FFreeNotifies.empty()) {
        FComponentState &= static_cast<TComponentState>(~csFreeNotification);
    }
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation)
{
    if (Operation == opRemove && AComponent) {
        RemoveFreeNotification(AComponent);
    }
    // A copy: a handler may free or move components while the notice goes round.
    const std::vector<TComponent*> children = FComponents;
    for (TComponent* child : children) {
        if (child != AComponent &&
            std::find(FComponents.begin(), FComponents.end(), child) != FComponents.end()) {
            child->Notification(AComponent, Operation);
        }
    }
}
