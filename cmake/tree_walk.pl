# Walk(DIR, CODE): calls CODE with the path of every file under DIR, in name
# order; build/ and .git/ are skipped, and so are links to folders (they could
# loop). Shared by the repository's Perl checks, which need only perl-base:
# each loads it with `do` from its own folder.
use strict;
use warnings;

sub Walk {
  my ($dir, $take) = @_;
  opendir(my $handle, $dir) or die "cannot read the folder $dir: $!\n";
  my @names = sort grep { $_ ne '.' && $_ ne '..' } readdir $handle;
  closedir $handle;
  for my $name (@names) {
    my $path = "$dir/$name";
    if (-d $path) {
      Walk($path, $take) unless -l $path || $name eq 'build' || $name eq '.git';
    } elsif (-f _) {
      $take->($path);
    }
  }
}

1;
