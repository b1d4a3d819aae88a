// The queue of dialog answers that the test controls fill, and the record
// of the last request; GetOpenFileNameW takes a queued answer before it
// asks any other backend.
#pragma once

#include "fgplatform/dialog_record.h"

namespace fgp {

void QueueDialogAnswer(const DialogAnswer& answer);
DialogRequest LastDialogRequest();
// Drops the queued answers and the recorded request.
void ClearDialogs();

}  // namespace fgp
