// The grade-11 station program.
#include "edition_settings.h"
#include "station_program.h"

int main(int argc, char **argv) { return station::RunStationProgram(argc, argv, station::Grade11Settings()); }
