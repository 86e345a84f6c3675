// In-place string helpers: trimming and lower-casing.
#pragma once

void stripSpace(char **cursor);
void convertLower(char *text);
