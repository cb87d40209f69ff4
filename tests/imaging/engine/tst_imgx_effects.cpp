#include "ImgX.h"
int main()
{
    return 0;
}
