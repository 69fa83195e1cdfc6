// The template's own parameters: the @_name_@ variables of the chosen template that are not page
// variables, with the values the user gives them before a run.
#pragma once

#include "app/typed_values.h"

#include <cstdint>
#include <string>
#include <string_view>

// The template parameter list: string entries in the order of their first use in the template.
extern TVqValues TemplateParams;

// The eight variables the page writer sets for each page.
bool IsPageVariable(const std::string& Name);

// Appends to Params, as a string entry whose value is its name, every @_name_@ of Text that is
// neither a page variable nor already in the list (names compared without regard to case).
// The text runs to its first NUL.
void CollectTemplateParams(std::string_view Text, TVqValues& Params);

// Refills TemplateParams from the chosen template's page (GallerySettings.TemplateIndex: none for
// -1, the template file for 0, installed template k - 1 for k). A file that cannot be read
// leaves the list empty.
void ScanTemplateParams();

// The caption of the parameters button for a list of Count parameters.
std::string TemplateParamsCaption(int32_t Count);
