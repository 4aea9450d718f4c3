#include "app/vantrel_app.h"

int main(int argc, char** argv)
{
    if (!theApp.InitInstance(argc, argv))
        return theApp.ExitInstance();
    theApp.Run();
    return theApp.ExitInstance();
}
