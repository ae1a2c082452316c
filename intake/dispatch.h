// Routes each report to its formatter by the report's "@type".
#pragma once

// Reads "@type" and calls the one formatter for it; unknown types are
// dropped silently, a missing type with a console warning under -W. With
// the heard tables kept, every report with a type is handed to them first.
void dispatch_report(const char* report);
