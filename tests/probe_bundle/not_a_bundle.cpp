// A shared library that is not a bundle: it exports no MP_GetFactory.
extern "C" int notAnEntryPoint()
{
    return 42;
}
