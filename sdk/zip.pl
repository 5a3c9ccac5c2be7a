#!/usr/bin/perl
# Packs a folder into a zip archive that depends on the files' contents and
# names only: the entries in byte order of their names, each under PREFIX/,
# every one with the same modification time (EPOCH, seconds since 1970, UTC),
# mode 0644 and no extra fields (no owner, no access or change times).
#
# zip.pl ARCHIVE FOLDER PREFIX EPOCH
use strict;
use warnings;
use File::Find;
use IO::Compress::Zip qw(:all);
use POSIX qw(tzset);

my ($archive, $folder, $prefix, $epoch) = @ARGV;
die "usage: zip.pl ARCHIVE FOLDER PREFIX EPOCH\n" unless defined $epoch && $epoch =~ /^\d+$/;
$folder =~ s{/+$}{};
# The entries' MS-DOS times are local times: UTC, whatever the machine's zone.
$ENV{TZ} = 'UTC';
tzset();

my @files;
find({ no_chdir => 1, wanted => sub { push @files, $File::Find::name if -f $_ } }, $folder);
die "zip.pl: no files under $folder\n" unless @files;
@files = sort map { substr($_, length($folder) + 1) } @files;

my $zip;
for my $name (@files) {
  my %entry = (Name => "$prefix/$name", Time => $epoch, ExtAttr => 0100644 << 16, Minimal => 1,
    Method => ZIP_CM_DEFLATE, BinModeIn => 1);
  if ($zip) {
    $zip->newStream(%entry) or die "zip.pl: $name: $ZipError\n";
  } else {
    $zip = IO::Compress::Zip->new($archive, %entry) or die "zip.pl: $archive: $ZipError\n";
  }
  open(my $in, '<:raw', "$folder/$name") or die "zip.pl: $folder/$name: $!\n";
  local $/;
  $zip->print(scalar <$in>);
  close $in;
}
$zip->close() or die "zip.pl: $archive: $ZipError\n";
