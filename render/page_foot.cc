#include "render/page_foot.h"

#include <cstdio>

#include "app/page_head.h"
#include "app/state.h"
#include "select/random.h"

void write_page_foot() {
  int32_t another = scale_draw(last_quote + 1);
  int32_t previous = current_quote - 1 < 0 ? last_quote : current_quote - 1;
  int32_t next = current_quote + 1 > last_quote ? 0 : current_quote + 1;
  fputs("</div></font><br><br>\n", stdout);
  printf("<FORM style=\"text-align: center\" action=\"%s\"><input "
         "type=\"hidden\" name=\"next\" value=\"%d\"><INPUT TYPE=\"submit\" "
         "VALUE=\"Another Quote...\"></FORM>\n",
         script_address, another);
  fputs("<table width=\"100%\" CELLPADDING=\"15\" CELLSPACING=\"0\"><tr><td "
        "align=\"right\" width=\"50%\">",
        stdout);
  printf("<FORM style=\"text-align: center\" action=\"%s\"><input "
         "type=\"hidden\" name=\"next\" value=\"%d\"><INPUT TYPE=\"submit\" "
         "VALUE=\"<< Previous\"></FORM>\n",
         script_address, previous);
  fputs("</td><td align=\"left\" width=\"50%\">", stdout);
  printf("<FORM style=\"text-align: center\" action=\"%s\"><input "
         "type=\"hidden\" name=\"next\" value=\"%d\"><INPUT TYPE=\"submit\" "
         "VALUE=\"Next >>\"></FORM>\n",
         script_address, next);
  fputs("</td></tr></table>", stdout);
  printf("<a href=\"%s?next=%d\"><font color=\"ffffff\">.</font></a>\n",
         script_address, next);
  if (open_template(tail_template_name)) {
    copy_template();
  } else {
    fputs("</body>", stdout);
  }
}
