// The grade-7 station program.
#include "edition07.h"
#include "station_program.h"

int main(int argc, char **argv) { return station::RunStationProgram(argc, argv, edition07::Grade7Settings()); }
