#include "grade7_fixture.h"
