# The labels of the discovered tests, by the name of their suite or test:
#   webkit  loads the web engine, which is not built with ThreadSanitizer;
#   netns   builds network namespaces of its own (needs root);
#   sound   starts a sound server of its own;
#   slow    waits one of the wizard's real long waits: the 40 s settings wait, or the
#           15 s that a camera command may last.
# Run by CTest after the test list is read; quenlo_tests_TESTS holds the names.
set(quenlo_label_rules
  "webkit" "^(InstallE2E|InstallE2EWayland|RendererFallbackUi|PackageE2E|WizardUiTest|PageHostWebKitTest|HiDpiUi)\\."
  "netns" "^(InstallE2E|InstallE2EWayland|RendererFallbackUi|PackageE2E|DiscoveryLan|LiveStreamLan|HiDpiUi)\\."
  "sound" "^RealSound\\."
  "slow" "^InstallE2E\\.(OtherSubnetByDhcp|ClosingTheWindowEndsAtOnceWhateverRuns)$")
foreach(quenlo_test IN LISTS quenlo_tests_TESTS)
  set(quenlo_labels "")
  set(quenlo_rules ${quenlo_label_rules})
  while(quenlo_rules)
    list(POP_FRONT quenlo_rules quenlo_label quenlo_pattern)
    if(quenlo_test MATCHES "${quenlo_pattern}")
      list(APPEND quenlo_labels ${quenlo_label})
    endif()
  endwhile()
  if(quenlo_labels)
    set_tests_properties("${quenlo_test}" PROPERTIES LABELS "${quenlo_labels}")
  endif()
endforeach()
