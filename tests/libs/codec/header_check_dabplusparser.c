/* DABplusParser.h compiles alone as C. */
#include "DABplusParser.h"

int dabPlusParserHeaderCheck(void)
{
    DABplusAccessUnitTable table;
    table.auCount = 0;
    return (int)table.auCount + DABPLUS_PARSER_NEED_INPUT;
}
