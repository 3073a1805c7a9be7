// Registration of the skin's classes.
#include "skin/register.hpp"

#include "skin/cool_button.hpp"
#include "skin/cool_form.hpp"

namespace skin {

void Register() {
    fw::RegisterClasses<TCoolForm, TRegionType, TCoolButton>();
}

} // namespace skin
