// A show's web page (see zrn_showpage.cpp and ZarnothShowPage.cmake): the show's
// program for the page defines the one function below; the page's entry points, its
// HTML and its script are the runtime's, the same for every show.
#pragma once

#include "show/zrn_show.h"

// The show the page plays (it outlives the page).
const ZRNShowDescription& ZRNShowPageDescription();
