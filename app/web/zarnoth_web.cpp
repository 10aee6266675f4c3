// zarnoth for the web page: the demo's show on the runtime's page (show/web/).
#include "app/demo_show.h"
#include "show/web/zrn_showpage.h"

const ZRNShowDescription& ZRNShowPageDescription() { return DemoShowDescription(); }

// The page starts the show; main has nothing to do.
int main() { return 0; }
