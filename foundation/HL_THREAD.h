// The thread framework. Only the report of alerts queued by other threads exists yet; the
// framework is filled in by its own unit later.
#pragma once

// Shows the alerts that other threads queued (notes too when with_notes is non-zero).
void THREAD_report_exceptions(int with_notes);
