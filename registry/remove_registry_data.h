#pragma once

// Removes every registry key Vorlaxen.exe uses, then the vendor key once nothing is left in it.
// Keys that are missing or cannot be opened are skipped; nothing is reported.
void RemoveRegistryData();
