// The forms layer in one include: application, controls, forms, standard and extra controls,
// menus, dialogs, clipboard, printer and the user simulation for tests.
#pragma once

#include "platform/forms/application.h"
#include "platform/forms/buttons.h"
#include "platform/forms/clipboard.h"
#include "platform/forms/com_controls.h"
#include "platform/forms/controls.h"
#include "platform/forms/dialog_service.h"
#include "platform/forms/dialogs.h"
#include "platform/forms/ext_controls.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"
#include "platform/forms/messages.h"
#include "platform/forms/page_control.h"
#include "platform/forms/printers.h"
#include "platform/forms/radio_buttons.h"
#include "platform/forms/scripted_dialogs.h"
#include "platform/forms/simulate.h"
#include "platform/forms/spin_edit.h"
#include "platform/forms/std_controls.h"
#include "platform/forms/up_down.h"
