#include "app/AppState.h"

AppState appState;

void resetAppState() { appState = AppState{}; }
