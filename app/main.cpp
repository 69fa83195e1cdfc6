// Plimbet's entry point: the application object, the program's windows and the message loop.
#include "app/about_window.h"
#include "app/errors_window.h"
#include "app/main_window.h"
#include "app/options_window.h"
#include "app/param_value_window.h"
#include "app/status_window.h"
#include "app/template_params_window.h"
#include "app/template_properties.h"
#include "app/templates_organizer.h"
#include "platform/forms/application.h"

int main()
{
    Application->Initialize();
    Application->SetTitle("Plimbet");
    // Every window is made once, in this order; the first is the main form.
    Application->CreateForm(Main);
    Application->CreateForm(About);
    Application->CreateForm(Status);
    Application->CreateForm(Error);
    Application->CreateForm(Options);
    Application->CreateForm(TempParam);
    Application->CreateForm(ParamValue);
    Application->CreateForm(TempOrg);
    Application->CreateForm(TempName);
    Application->Run();
    DoneApplication();
    return 0;
}
