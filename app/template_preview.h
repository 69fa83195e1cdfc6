// The template preview of the main window: the window widens to show a template's template.jpg.
#pragma once

struct TemplateStr;

// Shows (the window 788 wide) or hides (408 wide) the preview area, keeping the window's centre,
// and centres the "Create gallery" button. Showing a template with a sample shows its
// template.jpg stretched over the area; when that picture cannot be read, the area is hidden.
void ShowTemplatePreview(bool Show, const TemplateStr* Template);
