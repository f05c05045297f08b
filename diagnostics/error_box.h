// The program's two message boxes, and what becomes of them where nobody can
// see one.
#ifndef WYK_DIAGNOSTICS_ERROR_BOX_H
#define WYK_DIAGNOSTICS_ERROR_BOX_H

// Shows a box without owner and returns once it is closed. On a window station
// that is not visible (a service's, in session 0, where deployment tools run
// the program as SYSTEM) a box would wait for a click that never comes, so the
// text goes into the diagnostic log instead and the call returns at once.
void ShowErrorBox(const char* text, const char* caption, unsigned int style);

#endif
