// varnel: the window program. Everything happens in CVarnelApp.
#include "app/varnelapp.h"

int main(int argc, char** argv)
{
    CVarnelApp app(argc, argv);
    return app.Run();
}
