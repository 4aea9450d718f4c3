#include "app/vantrel_app.h"
#include "textfile/ansi_names.h"

int main(int argc, char** argv)
{
    // The document's name as the system holds it; Qt keeps these for as long as it runs.
    const CAnsiArguments ansiArguments(argc, argv);
    if (!theApp.InitInstance(argc, argv))
        return theApp.ExitInstance();
    theApp.Run();
    return theApp.ExitInstance();
}
